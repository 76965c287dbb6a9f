-- The decode heard on headphones in Ardour: one track of 6 inputs and 2
-- outputs with Orvotool and then Orvotool Monitor, the dummy backend's pink
-- noise on the front cardioid alone (a source straight ahead). Ardour must
-- give the monitor the decoder's six channels and take two from it and
-- carry the source to both ears alike; with the head turned 90 degrees to
-- the left the source is on the right; a saved and reloaded session keeps
-- the head rotation.
--   ardour7-lua monitor_chain.lua <session folder> <session name>
local dir, name = arg[1], arg[2]
assert(dir and name, "usage: monitor_chain.lua <session folder> <session name>")

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
AudioEngine:set_device_name("Pink Noise")
AudioEngine:set_sample_rate(48000)
AudioEngine:set_buffer_size(512)
assert(AudioEngine:start(false) == 0, "the dummy engine did not start")

local s = create_session(dir, name, 48000)
assert(s, "could not create the session " .. dir)
local track = s:new_audio_track(6, 2, nil, 1, "Headphones", ARDOUR.PresentationInfo.max_order,
                                ARDOUR.TrackMode.Normal, true):front()
for i, n in ipairs({"Orvotool", "Orvotool Monitor"}) do
  local p = ARDOUR.LuaAPI.new_plugin(s, n, ARDOUR.PluginType.VST3, "")
  assert(not p:isnil(), "Ardour does not know the VST 3 " .. n)
  assert(track:add_processor_by_index(p, i - 1, nil, true) == 0, "could not insert " .. n)
end
-- Ardour connects a new track's inputs to the system's on its own, a moment
-- later: those connections are made before they are replaced.
ARDOUR.LuaAPI.usleep(500000)
local input = track:input()
input:disconnect_all(nil)
assert(input:audio(0):connect("system:capture_1") == 0)
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, PBD.GroupControlDisposition.NoGroup)

local monitor = track:nth_plugin(1)
local mp = monitor:to_insert():plugin(0)
local rotation
for j = 0, mp:parameter_count() - 1 do
  if mp:parameter_label(j) == "Head Rotation" then rotation = j end
end
assert(rotation, "Ardour lists no Head Rotation for Orvotool Monitor")
print(string.format("Orvotool Monitor in Ardour: %d in, %d out, latency %d samples",
                    monitor:to_insert():input_streams():n_audio(), monitor:to_insert():output_streams():n_audio(),
                    monitor:signal_latency()))

-- Each ear's level: the mean of twelve peak readings over 1.2 s (pink
-- noise's peaks wander by a dB or two), once the sound settled. The meter's
-- peaks fall back at 13 dB/s, so it is read only once the start of the
-- decode, or the level before a change, has fallen away.
local function ears()
  ARDOUR.LuaAPI.usleep(1500000)
  local sum = {0, 0}
  for _ = 1, 12 do
    ARDOUR.LuaAPI.usleep(100000)
    for c = 1, 2 do
      sum[c] = sum[c] + track:peak_meter():meter_level(c - 1, ARDOUR.MeterType.MeterPeak) / 12
    end
  end
  return sum
end

local ahead = ears()
print(string.format("head straight: left ear %.1f dBFS, right ear %.1f dBFS", ahead[1], ahead[2]))
assert(ahead[1] > -40 and ahead[2] > -40, "an ear hears nothing")
assert(math.abs(ahead[1] - ahead[2]) < 3, "a source straight ahead is not heard in the middle")
assert(ARDOUR.LuaAPI.set_processor_param(monitor, rotation, 90), "Ardour refused Head Rotation 90")
local turned = ears()
print(string.format("head turned 90 degrees left: left ear %.1f dBFS, right ear %.1f dBFS", turned[1], turned[2]))
assert(turned[2] - turned[1] > 4, "with the head turned left the source ahead is not heard on the right")

s:save_state("", false, false, false, false, false)
-- Ardour's objects held by the script go before the session does: an IO
-- collected after close_session deadlocks Ardour's port manager.
input, track, monitor, mp = nil, nil, nil, nil
collectgarbage()
close_session()
s = load_session(dir, name)
assert(s, "could not load the saved session")
monitor = s:route_by_name("Headphones"):nth_plugin(1)
local kept = ARDOUR.LuaAPI.get_processor_param(monitor, rotation, false)
print(string.format("reloaded: Head Rotation %.1f", kept))
assert(math.abs(kept - 90) < 0.5, "the saved session lost the head rotation")
monitor = nil
collectgarbage()
close_session()
print("the decode is heard on headphones through Orvotool Monitor in Ardour")
