<?php
function twice($x) { return $x * 2; }
