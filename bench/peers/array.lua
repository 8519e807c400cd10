local a = {}
for i = 1, 1000000 do a[i] = i end
local sum = 0
for i = 1, 1000000 do sum = sum + a[i] end
io.write(string.format("%d", sum))
