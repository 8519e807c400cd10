<?php
include __DIR__ . '/lib.php';
for ($i = 0; $i < 100000; $i++) {
  $r = twice($i);
}
echo $r;
