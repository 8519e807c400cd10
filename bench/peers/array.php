<?php
$a = [];
for ($i = 1; $i <= 1000000; $i++) { $a[$i] = $i; }
$sum = 0;
for ($i = 1; $i <= 1000000; $i++) { $sum += $a[$i]; }
echo $sum;
