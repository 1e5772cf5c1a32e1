-- For tools/bench-players.py: at the end of the file, mpv says how many frames it showed
-- (the frames of the clip less the ones its video output dropped).
local count, drops = 0, 0
mp.observe_property("estimated-frame-count", "number", function(_, v) if v then count = v end end)
mp.observe_property("frame-drop-count", "number", function(_, v) if v then drops = v end end)
mp.register_event("end-file", function()
    io.stderr:write(string.format("frames shown %d\n", count - drops))
end)
