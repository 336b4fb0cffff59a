-- Ardour's side of the DAW test, run by ardour7-lua with the Dummy backend.
--   session.lua create <plan.lua>   new session: 4-channel track with the plug-in, master of 4
--   session.lua render <plan.lua>   load the session, switch programs, set or automate
--                                   parameters, export once (or save the session instead)
-- The plan file (written by daw_test.py) returns a table with what to do. Every result is a
-- tab-separated line starting with "RESULT", so the script reading this output can tell it from
-- Ardour's own messages.

io.stdout:setvbuf("no")

local mode, plan_path = arg[1], arg[2]
local plan = dofile(plan_path)

local function result(...)
	local fields = { "RESULT" }
	for _, v in ipairs({ ... }) do fields[#fields + 1] = tostring(v) end
	print(table.concat(fields, "\t"))
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
	local insert = proc:to_insert()
	return proc, insert, insert:plugin(0)
end

local function report_latency(tag, track, insert)
	result("latency", tag, insert:signal_latency(), track:signal_latency(),
		Session:worst_route_latency(), Session:worst_output_latency(), Session:io_latency())
end

-- The presets as the plug-in instance lists them: the programs' names, by index.
local function report_presets(plugin)
	for index = 0, plan.num_programs - 1 do
		local uri = string.format("VST:%s:%04d", plugin:unique_id(), index)
		local record = plugin:preset_by_uri(uri)
		result("preset", index, uri, record and record.label or "")
	end
end

local function create()
	start_engine()
	local session = create_session(plan.session_dir, plan.session_name, plan.rate)
	if not session then fail("cannot create the session") end

	-- The master bus gets four inputs, so the track's four outputs reach it one to one (a new
	-- track is connected port by port, wrapping round on a smaller master) and the export,
	-- which records the master's outputs, has four channels.
	local master = Session:master_out()
	local audio = ARDOUR.DataType("audio")
	while master:n_inputs():n_audio() < 4 do
		if master:input():add_port("", nil, audio) ~= 0 then fail("cannot add a master input") end
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

	local _, insert, plugin = find_plugin(track)
	result("plugin", plugin:name(), plugin:unique_id(), plugin:parameter_count(),
		insert:input_streams():n_audio(), insert:output_streams():n_audio(), insert:get_count())
	result("routing", track:n_inputs():n_audio(), track:n_outputs():n_audio(),
		master:n_inputs():n_audio(), master:n_outputs():n_audio(),
		track:panner_shell():bypassed(), master:panner_shell():bypassed())

	-- The presets as the plug-in list shows them, and as the plug-in instance holds them.
	for p in plugin:get_info():get_presets(false):iter() do
		result("info_preset", p.uri, p.label)
	end
	report_presets(plugin)
	report_latency("created", track, insert)

	Session:save_state("", false, false, false, false, false)
end

local function render()
	start_engine()
	if not load_session(plan.session_dir, plan.session_name) then fail("cannot load the session") end
	local track = Session:route_by_name(plan.track_name)
	if track:isnil() then fail("no track " .. plan.track_name) end
	result("playlist", track:to_track():playlist():n_regions())
	local proc, insert, plugin = find_plugin(track)
	report_latency("loaded", track, insert)
	report_presets(plugin)

	local job = plan.job
	-- Programs are switched the way a user picks a preset from the host's menu: by its label.
	for _, entry in ipairs(job.presets) do
		local label, uri = entry[1], entry[2]
		local preset = plugin:preset_by_label(label)
		if not preset then
			-- Named wrongly: say so, and go on by number, so the audio is still checked.
			result("preset_missing", label)
			preset = plugin:preset_by_uri(uri)
			if not preset then fail("no preset " .. uri) end
		end
		if not plugin:load_preset(preset) then fail("cannot load preset " .. label) end
		-- A program change may alter the announced delay; give Ardour a few cycles to take it in.
		ARDOUR.LuaAPI.usleep(200000)
		report_latency(label, track, insert)
	end
	for _, p in ipairs(job.params or {}) do
		if not ARDOUR.LuaAPI.set_processor_param(proc, p[1], p[2]) then
			fail("cannot set parameter " .. p[1])
		end
	end
	for _, a in ipairs(job.automation or {}) do
		local list, control_list = ARDOUR.LuaAPI.plugin_automation(proc, a.param)
		if list:isnil() then fail("no automation for parameter " .. a.param) end
		control_list:clear_list()
		-- Stepped: each value holds until the next point.
		control_list:set_interpolation(Evoral.InterpolationStyle.Discrete)
		for _, point in ipairs(a.points) do
			control_list:add(Temporal.timepos_t(point[1]), point[2], false, false)
		end
		-- Where the list holds its points, in its own time domain, as the session will play them.
		for event in control_list:events():iter() do
			result("automation", a.param, event.when:samples(), event.value, event.when:str(),
				tostring(event.when:is_beats()))
		end
		local control = proc:to_automatable():automation_control(
			Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, a.param), false)
		control:set_automation_state(ARDOUR.AutoState.Play)
	end
	ARDOUR.LuaAPI.usleep(100000)
	if job.save then
		-- The plug-in's state goes into the session file as Ardour asks for it now.
		Session:save_state("", false, false, false, false, false)
		result("saved")
		return
	end
	report_latency("export", track, insert)

	local export = Session:simple_export()
	if not export:set_preset(plan.export_preset) then fail("no export preset " .. plan.export_preset) end
	export:set_folder(job.folder)
	export:set_name(job.name)
	export:set_range(job.start, job["end"])
	if not export:run_export() then fail("export " .. job.name .. " failed") end
	result("exported", job.name)
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
