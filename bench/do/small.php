<?php
$n++;
$s = "run " . $n;
