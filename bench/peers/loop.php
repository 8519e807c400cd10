<?php
$i = 0;
while ($i < 10000000) { $i++; }
echo $i;
