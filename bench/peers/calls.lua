local function f(a, b, c) return a + b + c end
local s = 0
for i = 0, 999999 do s = f(i, 1, 2) end
io.write(s)
