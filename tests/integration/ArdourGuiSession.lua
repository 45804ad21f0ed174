-- Prepares the session of the Ardour GUI test (ArdourGuiTest.cpp), run by
-- ardour7-lua with the Dummy backend: one stereo track "FX" holding Ardour's
-- own noise generator (ACE Noise, -18 dBFS) and after it the plug-in, and on
-- the plug-in's Drive parameter (VST index 4) an automation ramp from 0 to 1
-- over the first four seconds, in Play, so that rolling the transport moves
-- the knob from the host's side while the meters follow the audio.
-- Everything comes from the environment:
--   TEST_SESSION_DIR  new, empty session folder
--   TEST_RATE         sample rate
--   TEST_PLUGIN       absolute path of the plug-in .so (already scanned)
-- Any failure raises an error, which makes ardour7-lua exit non-zero.

local function env(name)
	local v = os.getenv(name)
	if v == nil or v == "" then error("environment variable " .. name .. " not set") end
	return v
end

local session_dir = env("TEST_SESSION_DIR")
local rate = tonumber(env("TEST_RATE"))
local plugin_path = env("TEST_PLUGIN")
local drive = 4

AudioEngine:set_backend("None (Dummy)", "", "")
ARDOUR.config():set_plugin_path_lxvst(plugin_path:match("^(.*)/[^/]*$"))

assert(create_session(session_dir, "ambrel", rate), "cannot create the session")
do
	local tracks = Session:new_audio_track(2, 2, nil, 1, "FX", ARDOUR.PresentationInfo.max_order,
		ARDOUR.TrackMode.Normal, true)
	assert(tracks:size() == 1, "cannot create the track")
	local track = tracks:front()

	local id = nil
	for p in ARDOUR.LuaAPI.list_plugins():iter() do
		if p.path == plugin_path then id = p.unique_id end
	end
	assert(id, "Ardour does not list " .. plugin_path)
	local noise = ARDOUR.LuaAPI.new_plugin(Session, "ACE Noise", ARDOUR.PluginType.Lua, "")
	assert(not noise:isnil(), "cannot load ACE Noise")
	assert(track:add_processor_by_index(noise, 0, nil, true), "cannot add ACE Noise to the track")
	noise = nil
	local proc = ARDOUR.LuaAPI.new_plugin(Session, id, ARDOUR.PluginType.LXVST, "")
	assert(not proc:isnil(), "cannot load the plug-in")
	assert(track:add_processor_by_index(proc, 1, nil, true), "cannot add the plug-in to the track")

	local al, cl, pd = ARDOUR.LuaAPI.plugin_automation(proc, drive)
	assert(not al:isnil(), "no automation list for Drive")
	cl:add(Temporal.timepos_t(0), 0.0, false, true)
	cl:add(Temporal.timepos_t(rate * 4), 1.0, false, true)
	local control = proc:to_automatable():automation_control(
		Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, drive), false)
	assert(not control:isnil(), "no automation control for Drive")
	control:set_automation_state(ARDOUR.AutoState.Play)
	print(string.format("RESULT plugin %s", proc:name()))
	control = nil
	al = nil
	cl = nil
	pd = nil
	proc = nil
	track = nil
	tracks = nil
end
Session:save_state("", false, false, false, false, false)
-- Nothing may hold a route or processor when the session closes.
collectgarbage()
close_session()
