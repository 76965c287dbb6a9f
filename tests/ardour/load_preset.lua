-- Loads a preset by its name through Ardour's own preset list (the one its
-- plug-in preset menu shows) into the Orvotool of a session made by
-- make_session.lua, with the engine running, and saves the session.
--   ardour7-lua load_preset.lua <session folder> <session name> <preset name>
local dir, name, label = arg[1], arg[2], arg[3]
assert(dir and name and label, "usage: load_preset.lua <session folder> <session name> <preset name>")

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
AudioEngine:set_device_name("Sine Wave")
AudioEngine:set_sample_rate(48000)
AudioEngine:set_buffer_size(512)
assert(AudioEngine:start(false) == 0, "the dummy engine did not start")
local s = load_session(dir, name)
assert(s, "could not load the session " .. dir)
local track = s:route_by_name("Orvotool")
assert(track and not track:isnil(), "no track Orvotool in the session")
local plugin = track:nth_plugin(0):to_insert():plugin(0)
local preset = plugin:preset_by_label(label)
assert(preset, "Ardour lists no preset \"" .. label .. "\" for Orvotool")
assert(plugin:load_preset(preset), "Ardour could not load the preset \"" .. label .. "\"")
print("loaded " .. preset.label .. " (" .. preset.uri .. ")")
ARDOUR.LuaAPI.usleep(300000)
s:save_state("", false, false, false, false, false)
close_session()
