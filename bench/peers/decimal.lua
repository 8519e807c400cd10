-- Lua has no decimals: binary floats (not the same work; the PHP peer is).
local s = 0.0
for i = 1, 1000000 do s = s + 0.1 end
io.write(string.format("%d", math.floor(s + 0.5)))
