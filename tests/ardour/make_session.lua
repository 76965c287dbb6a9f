-- Builds the session the Ardour editor test opens in Ardour's window:
-- the dummy backend's "Sine Wave" device, one 6-in/6-out track with Orvotool
-- (VST 3) as its first plug-in, capsule inputs 1 to 3 fed by the first three
-- generated sines, the track monitoring its input so that audio runs through
-- the plug-in while the transport stands still.
--   ardour7-lua make_session.lua <session folder> <session name>
local dir, name = arg[1], arg[2]
assert(dir and name, "usage: make_session.lua <session folder> <session name>")

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
AudioEngine:set_device_name("Sine Wave")
AudioEngine:set_sample_rate(48000)
AudioEngine:set_buffer_size(512)
assert(AudioEngine:start(false) == 0, "the dummy engine did not start")

local s = create_session(dir, name, 48000)
assert(s, "could not create the session " .. dir)

local tracks = s:new_audio_track(6, 6, nil, 1, "Orvotool", ARDOUR.PresentationInfo.max_order,
                                 ARDOUR.TrackMode.Normal, true)
local track = tracks:front()
local plugin = ARDOUR.LuaAPI.new_plugin(s, "Orvotool", ARDOUR.PluginType.VST3, "")
assert(not plugin:isnil(), "Ardour does not know the Orvotool VST 3 (scan cache missing?)")
assert(track:add_processor_by_index(plugin, 0, nil, true) == 0, "could not insert Orvotool")

-- Capsules 1 to 3 from the generator, inputs 4 to 6 left open.
local capture = {"system:capture_1", "system:capture_2", "system:capture_3"}
local input = track:input()
input:disconnect_all(nil)
for i = 1, 3 do
  assert(input:audio(i - 1):connect(capture[i]) == 0, "could not connect " .. capture[i])
end
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, PBD.GroupControlDisposition.NoGroup)
-- The control is set in the process thread: wait for it before saving.
for _ = 1, 50 do
  if track:monitoring_control():monitoring_choice() == ARDOUR.MonitorChoice.MonitorInput then break end
  ARDOUR.LuaAPI.usleep(20000)
end
assert(track:monitoring_control():monitoring_choice() == ARDOUR.MonitorChoice.MonitorInput,
       "the track does not monitor its input")

s:save_state("", false, false, false, false, false)
close_session()
print("session " .. dir .. "/" .. name .. ".ardour: Orvotool on a 6-in/6-out track, inputs " ..
      table.concat(capture, " ", 1, 3))
