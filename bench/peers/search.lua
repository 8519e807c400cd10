local t = string.rep("abcdefghij", 9999) .. "hello12345"
local p
for i = 1, 10000 do p = string.find(t, "hello", 1, true) end
io.write(p)
