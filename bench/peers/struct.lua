local t = ''
for i = 1, 100000 do
  local rec = {}
  rec.m0 = 'value0'
  rec.m1 = 'value1'
  rec.m2 = 'value2'
  rec.m3 = 'value3'
  rec.m4 = 'value4'
  rec.m5 = 'value5'
  rec.m6 = 'value6'
  rec.m7 = 'value7'
  rec.m8 = 'value8'
  rec.m9 = 'value9'
  t = rec.m0 .. rec.m1 .. rec.m2 .. rec.m3 .. rec.m4 .. rec.m5 .. rec.m6 .. rec.m7 .. rec.m8 .. rec.m9
end
io.write(t)
