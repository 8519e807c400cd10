<?php
// Exact decimals, as Pexo computes them: bcmath with one digit of scale.
$s = '0';
for ($i = 0; $i < 1000000; $i++) { $s = bcadd($s, '0.1', 1); }
echo rtrim(rtrim($s, "0"), ".");
