<?php
// PHP has no built-in decimal type without an extension: binary floats.
$s = 0.0;
for ($i = 0; $i < 1000000; $i++) { $s += 0.1; }
echo round($s);
