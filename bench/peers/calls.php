<?php
function f($a, $b, $c) { return $a + $b + $c; }
$s = 0;
for ($i = 0; $i < 1000000; $i++) { $s = f($i, 1, 2); }
echo $s;
