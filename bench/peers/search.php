<?php
$t = str_repeat("abcdefghij", 9999) . "hello12345";
for ($i = 0; $i < 10000; $i++) { $p = strpos($t, "hello") + 1; }
echo $p;
