<?php
$s = "";
for ($i = 0; $i < 200000; $i++) { $s .= "abcdefghij"; }
echo strpos($s, "abcdefghij") + 1;
