-- Checks a session saved from Ardour's window, without the window:
-- 1. the Orvotool state Ardour stored (base64 in the session file) holds the
--    Output Format the user chose;
-- 2. what the track puts out with the session loaded and the dummy backend's
--    sines at capsule inputs 1 to 3: the channels of that format carry signal,
--    the others are silent.
--   ardour7-lua check_session.lua <session folder> <session name> <format>
-- <format> is Stereo (L and R heard; C, Ls and Rs silent) or "5 Channels".
-- Prints one line per finding; a failed check ends the script with an error.
local dir, name, want = arg[1], arg[2], arg[3]
assert(dir and name and want, "usage: check_session.lua <session folder> <session name> <format>")

local formats = {[0] = "Stereo", "3 Channels", "4 Channels", "5 Channels"}
-- Output channels heard in each format, in the plug-in's output order
-- L, R, C, LFE, Ls, Rs (the LFE channel stays silent in all of them).
local heard = {
  ["Stereo"] = {true, true, false, false, false, false},
  ["5 Channels"] = {true, true, true, false, true, true},
}
local channelNames = {"L", "R", "C", "LFE", "Ls", "Rs"}
assert(heard[want], "no expectation for the format " .. want)

local failures = {}
local function fail(message)
  print("FAIL: " .. message)
  failures[#failures + 1] = message
end

------------------------------------------------------------------------
-- The saved state.

local function base64Decode(text)
  local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
  local value = {}
  for i = 1, #alphabet do value[alphabet:byte(i)] = i - 1 end
  local out, bits, nbits = {}, 0, 0
  for i = 1, #text do
    local v = value[text:byte(i)]
    if v then -- padding and line breaks carry no bits
      bits, nbits = (bits << 6) | v, nbits + 6
      if nbits >= 8 then
        nbits = nbits - 8
        out[#out + 1] = string.char((bits >> nbits) & 0xff)
      end
    end
  end
  return table.concat(out)
end

-- Ardour keeps a plug-in's state in the layout of a .vstpreset file (little
-- endian): "VST3", version, class id, the offset of the chunk list; the list
-- names each chunk ("Comp" is what the processor's getState wrote) with its
-- offset and size.
local function componentState(blob)
  assert(blob:sub(1, 4) == "VST3", "the stored state is not in Ardour's VST 3 layout")
  local listAt = string.unpack("<i8", blob, 41)
  assert(blob:sub(listAt + 1, listAt + 4) == "List", "the stored state has no chunk list")
  local count = string.unpack("<i4", blob, listAt + 5)
  for i = 0, count - 1 do
    local entry = listAt + 9 + 20 * i
    local id, offset, size = blob:sub(entry, entry + 3), string.unpack("<i8i8", blob, entry + 4)
    if id == "Comp" then return blob:sub(offset + 1, offset + size) end
  end
  error("the stored state has no processor chunk")
end

-- Our state chunk (big endian): a section with the key "presetVersion" and
-- the version, then a section of entries, each a counted key string (zero
-- byte included) and a double.
local function stateEntries(chunk)
  local entries = {}
  local versionSize, pos = string.unpack(">i4", chunk)
  pos = pos + versionSize
  local entriesSize
  entriesSize, pos = string.unpack(">i4", chunk, pos)
  local stop = pos + entriesSize
  while pos < stop do
    local keyLength, key, value
    keyLength, pos = string.unpack(">i4", chunk, pos)
    key, pos = chunk:sub(pos, pos + keyLength - 2), pos + keyLength
    value, pos = string.unpack(">d", chunk, pos)
    entries[key] = value
  end
  return entries
end

local sessionFile = ARDOUR.LuaAPI.build_filename(dir, name .. ".ardour")
local xml = ARDOUR.LuaAPI.file_get_contents(sessionFile)
local processor = xml:match('<Processor[^>]- name="Orvotool"[^>]- type="vst3".-</Processor>')
assert(processor, "no Orvotool VST 3 in " .. sessionFile)
local chunk = processor:match("<chunk>(.-)</chunk>")
assert(chunk, "Ardour stored no Orvotool state in " .. sessionFile)
local saved = stateEntries(componentState(base64Decode(chunk)))
local savedFormat = saved.modeOutFormat and formats[math.floor(saved.modeOutFormat + 0.5)]
print(string.format("saved state: Output Format %s (modeOutFormat %s), Width %s",
                    savedFormat or "?", tostring(saved.modeOutFormat), tostring(saved.width)))
if savedFormat ~= want then
  fail("the processor's saved state has Output Format " .. tostring(savedFormat) .. ", not " .. want ..
       ": the choice made in the editor did not reach the processor")
end

------------------------------------------------------------------------
-- What is heard.

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
AudioEngine:set_device_name("Sine Wave")
AudioEngine:set_sample_rate(48000)
AudioEngine:set_buffer_size(512)
assert(AudioEngine:start(false) == 0, "the dummy engine did not start")
local s = load_session(dir, name)
assert(s, "could not load " .. sessionFile)
local track = s:route_by_name("Orvotool")
assert(track and not track:isnil(), "no track Orvotool in the session")
local plugin = track:nth_plugin(0)

-- The track's meter sits after the plug-in and the fader: it shows what the
-- track sends on. Its peaks fall back slowly (13 dB/s), so a burst heard at
-- any time in the window stays visible; the loudest and the quietest
-- reading of each channel over 0.6 s are kept.
local kSilentDb = -90    -- a channel the format leaves out is written as zeros (-inf)
local kSignalDb = -40    -- the dummy sines reach the outputs around -13 dBFS
ARDOUR.LuaAPI.usleep(300000)
local loudest = {-math.huge, -math.huge, -math.huge, -math.huge, -math.huge, -math.huge}
local quietest = {math.huge, math.huge, math.huge, math.huge, math.huge, math.huge}
for _ = 1, 6 do
  ARDOUR.LuaAPI.usleep(100000)
  for c = 1, 6 do
    local db = track:peak_meter():meter_level(c - 1, ARDOUR.MeterType.MeterPeak)
    loudest[c] = math.max(loudest[c], db)
    quietest[c] = math.min(quietest[c], db)
  end
end

-- Ardour lists only the plug-in's automatable and read-only parameters, so
-- its indices are looked up by name.
local index = {}
local pl = plugin:to_insert():plugin(0)
for j = 0, pl:parameter_count() - 1 do index[pl:parameter_label(j)] = j end
local function param(label)
  return index[label] and ARDOUR.LuaAPI.get_processor_param(plugin, index[label], false)
end

local line, vu = "track output peaks (dBFS):", "plug-in output meters (linear):"
for c = 1, 6 do line = line .. string.format(" %s %.1f", channelNames[c], loudest[c]) end
for _, m in ipairs({"Left", "Right", "Center", "Left Surround", "Right Surround"}) do
  local v = param("Vu Out " .. m)
  vu = vu .. (v and string.format(" %.3f", v) or " ?")
end
print(line)
print(vu)
local format = param("Output Format")
print("Ardour's own record of Output Format: " ..
      (format and formats[math.floor(format + 0.5)] or "none (Ardour does not list the parameter)"))

for c = 1, 6 do
  if heard[want][c] and quietest[c] < kSignalDb then
    fail(string.format("%s is not heard (%.1f dBFS) with Output Format %s", channelNames[c], quietest[c], want))
  elseif not heard[want][c] and loudest[c] > kSilentDb then
    fail(string.format("%s carries signal (%.1f dBFS) with Output Format %s", channelNames[c], loudest[c], want))
  end
end
close_session()

if #failures > 0 then error(#failures .. " check(s) failed") end
print("saved state and output agree with Output Format " .. want)
