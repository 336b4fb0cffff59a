-- Ardour's side of the DAW test, run by ardour7-lua with the Dummy backend.
--   session.lua create <plan.lua>   new session: 4-channel track with the plug-in, master of 4
--   session.lua render <plan.lua>   load the session, select presets by name, set or automate
--                                   parameters, export once (or save the session instead)
-- The plan (written by daw_test.py) returns a table. Results are tab-separated lines starting
-- with "RESULT", told apart from Ardour's own messages.

io.stdout:setvbuf("no")
local mode, plan = arg[1], dofile(arg[2])

local function result(...)
	print(table.concat({ "RESULT", ... }, "\t"))
end

local function fail(message)
	result("error", message)
	os.exit(1)
end

local function start_engine()
	if AudioEngine:set_backend("None (Dummy)", "", ""):isnil() then fail("no Dummy backend") end
	AudioEngine:set_device_name("Silence")
	AudioEngine:set_sample_rate(plan.rate)
	AudioEngine:set_buffer_size(plan.buffer_size)
	if AudioEngine:start(false) ~= 0 or not AudioEngine:running() then fail("engine did not start") end
end

-- The plug-in's insert on the track, and the plug-in behind it.
local function find_plugin(track)
	local proc = track:nth_plugin(0)
	if proc:isnil() then fail("track has no plug-in") end
	return proc, proc:to_insert(), proc:to_insert():plugin(0)
end

local function create()
	start_engine()
	if not create_session(plan.session_dir, plan.session_name, plan.rate) then fail("cannot create the session") end
	-- Four master inputs, so the track's four outputs reach it one to one and the export, which
	-- records the master's outputs, has four channels.
	local master = Session:master_out()
	while master:n_inputs():n_audio() < 4 do
		if master:input():add_port("", nil, ARDOUR.DataType("audio")) ~= 0 then fail("cannot add a master input") end
	end
	local tracks = Session:new_audio_track(4, 4, nil, 1, plan.track_name,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
	if tracks:empty() then fail("cannot create the track") end
	local track = tracks:front()
	-- By unique ID, as a session file refers to it; 4 is the Linux VST plug-in type.
	local proc = ARDOUR.LuaAPI.new_plugin(Session, plan.plugin_id, 4, "")
	if proc:isnil() then fail("Ardour does not know plug-in " .. plan.plugin_id) end
	if track:add_processor_by_index(proc, 0, nil, true) ~= 0 then fail("cannot insert the plug-in") end
	-- Left alone, the panners would mix the four channels down to the speakers' layout.
	track:panner_shell():set_bypassed(true)
	master:panner_shell():set_bypassed(true)
	local _, _, plugin = find_plugin(track)
	-- The presets as the plug-in instance lists them: the programs' names, by index.
	for index = 0, plan.num_programs - 1 do
		local preset = plugin:preset_by_uri(string.format("VST:%s:%04d", plan.plugin_id, index))
		result("preset", index, preset and preset.label or "")
	end
	Session:save_state("", false, false, false, false, false)
end

local function render()
	start_engine()
	if not load_session(plan.session_dir, plan.session_name) then fail("cannot load the session") end
	local track = Session:route_by_name(plan.track_name)
	if track:isnil() then fail("no track " .. plan.track_name) end
	local proc, insert, plugin = find_plugin(track)
	local job = plan.job
	-- Programs are switched the way a user picks a preset from the host's menu: by its label.
	for _, label in ipairs(job.presets) do
		local preset = plugin:preset_by_label(label)
		if not preset then fail("no preset labelled " .. label) end
		if not plugin:load_preset(preset) then fail("cannot load preset " .. label) end
		-- A program change may alter the announced delay; give Ardour a few cycles to take it in.
		ARDOUR.LuaAPI.usleep(200000)
	end
	for _, p in ipairs(job.params or {}) do
		if not ARDOUR.LuaAPI.set_processor_param(proc, p[1], p[2]) then fail("cannot set parameter " .. p[1]) end
	end
	for _, a in ipairs(job.automation or {}) do
		local list, control_list = ARDOUR.LuaAPI.plugin_automation(proc, a.param)
		if list:isnil() then fail("no automation for parameter " .. a.param) end
		control_list:clear_list()
		control_list:set_interpolation(Evoral.InterpolationStyle.Discrete) -- stepped
		for _, point in ipairs(a.points) do
			control_list:add(Temporal.timepos_t(point[1]), point[2], false, false)
		end
		proc:to_automatable():automation_control(
			Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, a.param), false)
			:set_automation_state(ARDOUR.AutoState.Play)
	end
	ARDOUR.LuaAPI.usleep(100000)
	if job.save then
		-- The plug-in's state goes into the session file as Ardour asks for it now.
		Session:save_state("", false, false, false, false, false)
		result("saved")
		return
	end
	result("latency", insert:signal_latency())
	local export = Session:simple_export()
	if not export:set_preset(plan.export_preset) then fail("no export preset " .. plan.export_preset) end
	export:set_folder(job.folder)
	export:set_name(job.name)
	export:set_range(0, plan["end"])
	if not export:run_export() then fail("export " .. job.name .. " failed") end
	result("exported")
end

local work = ({ create = create, render = render })[mode]
if not work then fail("unknown mode " .. tostring(mode)) end
work()
-- Ardour's objects must go before the session does: a route still referenced from Lua is freed
-- by the garbage collector after the session, and its destructor reads freed memory.
collectgarbage()
collectgarbage()
close_session()
result("done")
