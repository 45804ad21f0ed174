-- Renders the test signal through one LinuxVST plug-in in a headless Ardour
-- session, exports the result and prints what Ardour sees as
-- "RESULT key value" lines.
--
-- Run by run_ardour_test.sh with ardour7-lua; everything comes from the
-- environment:
--   TEST_SESSION_DIR  new, empty session folder
--   TEST_RATE         session sample rate
--   TEST_SIGNAL       absolute path of the stereo input WAV (at TEST_RATE)
--   TEST_FRAMES       its length in frames
--   TEST_PLUGIN       absolute path of the plug-in .so (already scanned)
--   TEST_PRESET       uuid of the export preset
--   TEST_PARAMS       "index=value,index=value" (VST index, normalised value)
--                     set through Ardour before the export, or empty
--   TEST_RELOAD       "1": save the session after setting the parameters,
--                     close it and load it again before the export, so the
--                     plug-in renders with the state Ardour restored
--   TEST_EXPORT       file the export is written to (WAV)
--
-- Any failure raises an error, which makes ardour7-lua exit non-zero.

local function env(name)
	local v = os.getenv(name)
	if v == nil or v == "" then error("environment variable " .. name .. " not set") end
	return v
end

local session_dir = env("TEST_SESSION_DIR")
local rate = tonumber(env("TEST_RATE"))
local signal = env("TEST_SIGNAL")
local frames = tonumber(env("TEST_FRAMES"))
local plugin_path = env("TEST_PLUGIN")
local preset = env("TEST_PRESET")
local params = os.getenv("TEST_PARAMS") or ""
local export_file = env("TEST_EXPORT")
local reload = os.getenv("TEST_RELOAD") == "1"
local name = "ambrel"
local track_name = "FX"

-- Audio-time positions in the session file are superclock ticks.
local superclock_rate = 282240000
assert(superclock_rate % rate == 0, "sample rate must divide the superclock rate")
local function superclock(samples) return string.format("a%d", samples * (superclock_rate // rate)) end
-- A duration is written with the position it starts from.
local function duration(samples, from) return superclock(samples) .. "@" .. superclock(from) end

local function result(key, value)
	print(string.format("RESULT %s %s", key, tostring(value)))
	io.stdout:flush()
end

local function read_file(path)
	local f = assert(io.open(path, "r"))
	local text = f:read("a")
	f:close()
	return text
end

local function write_file(path, text)
	local f = assert(io.open(path, "w"))
	f:write(text)
	f:close()
end

-- Replaces the one match of a Lua pattern, or fails.
local function replace_once(text, pattern, replacement, what)
	local out, n = string.gsub(text, pattern, function() return replacement end)
	if n ~= 1 then error(string.format("session file: expected one %s, found %d", what, n)) end
	return out
end

local function xml_escape(s)
	return (s:gsub("&", "&amp;"):gsub("<", "&lt;"):gsub(">", "&gt;"):gsub('"', "&quot;"))
end

AudioEngine:set_backend("None (Dummy)", "", "")
-- Only the plug-in's own folder is searched (its scan is in the cache).
ARDOUR.config():set_plugin_path_lxvst(plugin_path:match("^(.*)/[^/]*$"))

-- 1. An empty session with one stereo track, saved and closed.
do
	assert(create_session(session_dir, name, rate), "cannot create the session")
	local tracks = Session:new_audio_track(2, 2, nil, 1, track_name, ARDOUR.PresentationInfo.max_order,
		ARDOUR.TrackMode.Normal, true)
	assert(tracks:size() == 1, "cannot create the track")
	tracks = nil
	Session:save_state("", false, false, false, false, false)
end
collectgarbage()
close_session()

-- 2. Put the signal on the track: one source per channel, one region at the
--    session start without fades, in the track's playlist.
do
	local file = session_dir .. "/" .. name .. ".ardour"
	local xml = read_file(file)
	local id_counter = tonumber(xml:match('id%-counter="(%d+)"'))
	assert(id_counter, "session file: no id-counter")
	local src = { id_counter + 1, id_counter + 2 }
	local region_id = id_counter + 3
	xml = replace_once(xml, 'id%-counter="%d+"', string.format('id-counter="%d"', id_counter + 10), "id-counter")

	local path = xml_escape(signal)
	local sources = "<Sources>\n"
	for ch = 0, 1 do
		sources = sources .. string.format(
			'    <Source name="%s" type="audio" flags="" id="%d" captured-for="" channel="%d" origin="%s" gain="1"/>\n',
			path, src[ch + 1], ch, path)
	end
	sources = sources .. "  </Sources>"
	xml = replace_once(xml, "<Sources/>", sources, "<Sources/>")

	local playlist_open = xml:match('<Playlist [^>]-name="' .. track_name .. '"[^>]-/>')
	assert(playlist_open, "session file: no empty playlist for the track")
	local region = string.format(
		'<Region name="signal" muted="0" opaque="1" locked="0" video-locked="0" automatic="0" whole-file="0" '
		.. 'import="0" external="0" sync-marked="0" left-of-split="0" right-of-split="0" hidden="0" '
		.. 'position-locked="0" valid-transients="0" start="%s" length="%s" position="%s" sync-position="%s" '
		.. 'ancestral-start="%s" ancestral-length="%s" stretch="1" shift="1" layering-index="0" tags="" '
		.. 'id="%d" type="audio" envelope-active="0" default-fade-in="0" default-fade-out="0" '
		.. 'fade-in-active="0" fade-out-active="0" scale-amplitude="1" channels="2" '
		.. 'source-0="%d" source-1="%d" master-source-0="%d" master-source-1="%d"/>',
		superclock(0), duration(frames, 0), superclock(0), superclock(0), superclock(0), duration(frames, 0),
		region_id, src[1], src[2], src[1], src[2])
	local playlist = playlist_open:gsub("/>$", ">") .. "\n      " .. region .. "\n    </Playlist>"
	xml = replace_once(xml, playlist_open:gsub("%p", "%%%0"), playlist, "track playlist")
	write_file(file, xml)
end

-- 3. Load it again, wire the track explicitly (disk in, master out) and
--    insert the plug-in first in the track.
assert(load_session(session_dir, name), "cannot load the session")

local function track()
	local route = Session:route_by_name(track_name)
	assert(not route:isnil(), "track missing after reload")
	return route:to_track()
end

local function plugin_insert()
	local proc = track():nth_plugin(0)
	assert(not proc:isnil(), "plug-in missing")
	return proc
end

local function wire()
	local t = track()
	local playlist = t:playlist()
	result("regions", playlist:region_list():size())
	assert(playlist:region_list():size() == 1, "the signal region did not load")

	local master_in = Session:master_out():input()
	for ch = 0, 1 do
		t:input():audio(ch):disconnect_all()
		local out = t:output():audio(ch)
		out:disconnect_all()
		assert(out:connect(master_in:audio(ch):name()) == 0, "cannot connect the track to the master bus")
	end
end

do
	wire()
	local t = track()

	local info = nil
	for p in ARDOUR.LuaAPI.list_plugins():iter() do
		if p.type == ARDOUR.PluginType.LXVST and p.path == plugin_path then info = p end
	end
	assert(info, "Ardour does not list " .. plugin_path .. " (scan cache missing or stale?)")
	result("plugin_name", info.name)
	local proc = ARDOUR.LuaAPI.new_plugin(Session, info.unique_id, ARDOUR.PluginType.LXVST, "")
	assert(not proc:isnil(), "cannot instantiate the plug-in")
	assert(t:add_processor_by_index(proc, 0, nil, true), "cannot insert the plug-in")
end

local function inspect()
	local proc = plugin_insert()
	local plugin = proc:to_insert():plugin(0)
	result("loaded_name", plugin:name())
	result("loaded_path", plugin:get_info().path)
	result("signal_latency", proc:signal_latency())
	result("effective_latency", proc:to_latent():effective_latency())
	result("plugin_inputs", proc:to_insert():input_streams():n_audio())
	result("plugin_outputs", proc:to_insert():output_streams():n_audio())
end

inspect()

-- 4. Set the parameters (and save and reload the session if asked), then
--    export the master bus over the signal's length.
do
	local proc = plugin_insert()
	for index, value in params:gmatch("(%d+)=([%d%.eE+-]+)") do
		assert(ARDOUR.LuaAPI.set_processor_param(proc, tonumber(index), tonumber(value)),
			"cannot set parameter " .. index)
		result("param_" .. index, ARDOUR.LuaAPI.get_processor_param(proc, tonumber(index), true))
	end
end

if reload then
	Session:save_state("", false, false, false, false, false)
	collectgarbage()
	close_session()
	assert(load_session(session_dir, name), "cannot load the saved session")
	result("reloaded", "yes")
	wire()
	inspect()
	local proc = plugin_insert()
	for index in params:gmatch("(%d+)=") do
		result("restored_param_" .. index, ARDOUR.LuaAPI.get_processor_param(proc, tonumber(index), true))
	end
end

do
	local folder = session_dir .. "/export"
	local exporter = Session:simple_export()
	exporter:set_folder(folder)
	exporter:set_range(0, frames)
	assert(exporter:set_preset(preset), "export preset " .. preset .. " not found")
	assert(exporter:check_outputs(), "nothing to export")
	assert(exporter:run_export(), "export failed")
	-- The preset names the file; take the one WAV file the export wrote.
	local listing = assert(io.popen("ls '" .. folder .. "'"))
	local written = {}
	for file in listing:lines() do
		if file:match("%.wav$") then table.insert(written, folder .. "/" .. file) end
	end
	listing:close()
	assert(#written == 1, string.format("expected one exported WAV file in %s, found %d", folder, #written))
	assert(os.rename(written[1], export_file))
	result("exported", export_file)
end

-- Nothing may hold session objects when the session closes, or it hangs.
collectgarbage()
close_session()
result("closed", "yes")
