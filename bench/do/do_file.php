<?php
$n = 0;
for ($i = 0; $i < 10000; $i++) {
  include __DIR__ . '/small.php';
}
echo $s;
