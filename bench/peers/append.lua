-- Lua builds long texts with a buffer table (repeated .. is quadratic).

local parts = {}
for i = 1, 200000 do parts[#parts + 1] = "abcdefghij" end
s = table.concat(parts)
io.write((string.find(s, "abcdefghij", 1, true)))
