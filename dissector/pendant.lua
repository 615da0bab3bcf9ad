-- Wireshark/tshark dissector for the pendant's USB protocol, on captures of
-- the Linux USB monitor (usbmon; link types 220 and 189).
--
--   tshark -X lua_script:dissector/pendant.lua -r pendant.pcapng
--
-- Display: the host writes one 48-byte frame as six SET_REPORT requests
-- (feature report 6, 8 bytes: the report id, then 7 of the 42 payload
-- bytes). Each request shows its place in the frame; the sixth also shows
-- the ten decoded values. Input: each interrupt IN completion on the input
-- endpoint shows the selected axis, the jog count and whether it moves.
--
-- It runs as a post-dissector beside the USB dissector and takes the URB
-- header from the usb.* fields, but the setup packet and the data from the
-- packet bytes: once a capture holds the device's enumeration the USB
-- dissector hands HID interfaces to its HID dissector, and then wValue and
-- the data move to other fields (usbhid.*), while the bytes stay put.

local pendant = Proto("pendant", "Pendant USB protocol")

local AXIS_NAMES = { [0] = "none", [1] = "1", [2] = "2", [3] = "3" }

local pf = {
    report_index   = ProtoField.uint8("pendant.report.index", "Display report", base.DEC, nil, nil,
                                      "Place of this report in its display frame (0..5)"),
    report_payload = ProtoField.bytes("pendant.report.payload", "Payload bytes"),
    report_problem = ProtoField.string("pendant.report.problem", "Report problem"),
    report_code    = ProtoField.uint8("pendant.report.code", "Axis code", base.HEX),
    report_axis    = ProtoField.uint8("pendant.report.axis", "Axis", base.DEC, nil, nil,
                                      "Selected axis: 1..3, 0 for none"),
    report_count   = ProtoField.int8("pendant.report.count", "Jog count"),
    report_moves   = ProtoField.bool("pendant.report.moves", "Moves the axis"),
    frame          = ProtoField.none("pendant.frame", "Display frame"),
    frame_start    = ProtoField.framenum("pendant.frame.start", "Frame starts in"),
    frame_problem  = ProtoField.string("pendant.frame.problem", "Frame problem"),
}

-- The ten display values in payload order: name, label, payload offset.
local COORDS = {
    { "set1.axis1", "CoordSet1 axis 1",  3 },
    { "set1.axis2", "CoordSet1 axis 2",  7 },
    { "set1.axis3", "CoordSet1 axis 3", 11 },
    { "set2.axis1", "CoordSet2 axis 1", 15 },
    { "set2.axis2", "CoordSet2 axis 2", 19 },
    { "set2.axis3", "CoordSet2 axis 3", 23 },
}
local WORDS = {
    { "word0", "Display word 0", 27 },
    { "word1", "Display word 1", 29 },
    { "word2", "Display word 2", 31 },
    { "word3", "Display word 3", 33 },
}
for _, c in ipairs(COORDS) do
    pf[c[1]] = ProtoField.double("pendant.frame." .. c[1], c[2])
end
for _, w in ipairs(WORDS) do
    pf[w[1]] = ProtoField.uint16("pendant.frame." .. w[1], w[2])
end

local fields = {}
for _, f in pairs(pf) do fields[#fields + 1] = f end
pendant.fields = fields

local ex_frame = ProtoExpert.new("pendant.frame.malformed", "Display frame malformed",
                                 expert.group.PROTOCOL, expert.severity.WARN)
local ex_report = ProtoExpert.new("pendant.report.irregular", "Display report out of sequence",
                                  expert.group.SEQUENCE, expert.severity.WARN)
pendant.experts = { ex_frame, ex_report }

local endpoints = {}
for n = 1, 15 do
    endpoints[n] = { n, string.format("0x%02X", 0x80 + n), 0x80 + n }
end
pendant.prefs.input_endpoint = Pref.enum("Input endpoint", 0x81,
    "Interrupt IN endpoint the pendant sends its input reports on", endpoints, false)
pendant.prefs.bus = Pref.uint("USB bus", 0, "Only decode the device on this bus (0: any bus)")
pendant.prefs.device = Pref.uint("Device address", 0,
    "Only decode the device with this address (0: any device)")

local f_urb_type = Field.new("usb.urb_type")
local f_transfer = Field.new("usb.transfer_type")
local f_endpoint = Field.new("usb.endpoint_address")
local f_device   = Field.new("usb.device_address")
local f_bus      = Field.new("usb.bus_id")
local f_status   = Field.new("usb.urb_status")
local f_data_len = Field.new("usb.data_len")
local f_request  = Field.new("usb.bmRequestType")

local URB_SUBMIT, URB_COMPLETE = 0x53, 0x43      -- 'S', 'C'
local XFER_INTERRUPT, XFER_CONTROL = 1, 2

-- Results per packet number, filled on the first pass in capture order;
-- later passes (tshark -2, clicking around in the GUI) only show them.
local results = {}
-- Per device ("bus:address"): the display frame being collected.
local devices = {}

function pendant.init()
    results = {}
    devices = {}
end

local function value(fi)
    return fi and fi.value
end

-- The transfer's data: the last data_len bytes of the record (usbmon puts
-- them right after its header), as far as they were captured.
local function data_range(tvb, data_len)
    if not data_len or data_len == 0 then return nil end
    local offset = tvb:reported_len() - data_len
    if offset < 0 then return nil end
    local avail = math.min(data_len, tvb:len() - offset)
    if avail <= 0 then return nil end
    return tvb(offset, avail)
end

local function le16(b, i)
    return b:get_index(i) + b:get_index(i + 1) * 256
end

local function coord_text(c)
    if c.frac > 9999 then
        return string.format("%.4f", c.value)
    end
    return string.format("%s%d.%04d", c.negative and "-" or "", c.whole, c.frac)
end

-- Decodes the 42-byte payload (a ByteArray).
local function decode_frame(p)
    local f = { coords = {}, words = {}, problems = {} }
    for i, c in ipairs(COORDS) do
        local whole, fw = le16(p, c[3]), le16(p, c[3] + 2)
        local frac, negative = fw % 0x8000, fw >= 0x8000
        local v = whole + frac / 10000
        if negative then v = -v end
        f.coords[i] = { whole = whole, frac = frac, negative = negative, value = v }
        if frac > 9999 then
            f.problems[#f.problems + 1] = "fraction above 9999 in " .. c[1]
        end
    end
    for i, w in ipairs(WORDS) do
        f.words[i] = le16(p, w[3])
    end
    if p:get_index(0) ~= 0xFE or p:get_index(1) ~= 0xFD or p:get_index(2) ~= 0x0F then
        table.insert(f.problems, 1, "header is not FE FD 0F")
    end
    if le16(p, 35) ~= 0x0208 then
        f.problems[#f.problems + 1] = "word at 35 is not 0x0208"
    end
    for i = 37, 41 do
        if p:get_index(i) ~= 0 then
            f.problems[#f.problems + 1] = "bytes 37..41 are not zero"
            break
        end
    end
    f.problem = #f.problems > 0 and table.concat(f.problems, "; ") or nil
    return f
end

local function frame_text(f)
    local parts = {}
    for i = 1, 3 do parts[#parts + 1] = coord_text(f.coords[i]) end
    parts[#parts + 1] = "|"
    for i = 4, 6 do parts[#parts + 1] = coord_text(f.coords[i]) end
    parts[#parts + 1] = "|"
    for i = 1, 4 do parts[#parts + 1] = tostring(f.words[i]) end
    return table.concat(parts, " ")
end

local FRAME_END = { 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00 } -- payload of report 5

local function has_bytes(b, want)
    for i, v in ipairs(want) do
        if b:get_index(i - 1) ~= v then return false end
    end
    return true
end

-- Report 0's bytes (FE FD 0F) can also stand in a frame's data (display
-- words 0xFExx and 0x0FFD put them at the start of report 4), so a frame in
-- progress goes on beside the one they may start, and of the two the one
-- whose sixth report is the constant 08 02 00.. is taken. Each candidate:
-- its payload so far, its first packet, and the records of its reports.
local function candidate(number)
    return { payload = ByteArray.new(), start = number, records = {} }
end

-- Gives every report of the frame taken its place, and drops the problem
-- that a look-alike start inside it had been given.
local function settle(c)
    for i, rec in ipairs(c.records) do
        rec.index = i - 1
        if i > 1 and rec.abandons then
            rec.problem, rec.abandons = nil, nil
        end
    end
end

-- First pass: one display report (the 8 data bytes) of device key. Until a
-- frame is settled a report shows its place in the youngest candidate: a
-- one-pass decode can only guess there, a two-pass decode (tshark -2,
-- Wireshark's display) shows the settled places.
local function track_display(key, number, data)
    local r = { kind = "display" }
    local dev = devices[key]
    if not dev then
        dev = { candidates = {} }
        devices[key] = dev
    end
    local cands = dev.candidates
    if data:len() ~= 8 or data:get_index(0) ~= 0x06 then
        r.problem = "not an 8-byte report with id 6"
        if #cands > 0 then
            -- The frame in progress is the oldest candidate; younger ones
            -- may be its data.
            r.problem = r.problem .. "; frame abandoned after report " .. (#cands[1].records - 1)
        end
        dev.candidates, dev.follows = {}, false
        return r
    end
    local payload = data:subset(1, 7)
    if has_bytes(payload, { 0xFE, 0xFD, 0x0F }) then
        if #cands > 0 then
            r.abandons = "frame abandoned after report " .. (#cands[1].records - 1)
            r.problem = r.abandons
        end
        cands[#cands + 1] = candidate(number)
    elseif #cands == 0 then
        -- Right after a frame the next report is report 0 by its order; else
        -- the capture began in the middle of a frame.
        if not dev.follows then return r end
        cands[1] = candidate(number)
    end
    for _, c in ipairs(cands) do
        c.payload:append(payload)
        c.records[#c.records + 1] = r
    end
    r.index = #cands[#cands].records - 1
    -- Only the oldest can be whole.
    local oldest = cands[1]
    if #oldest.records < 6 then return r end
    if not has_bytes(payload, FRAME_END) and #cands > 1 then
        -- Cut short by a lost report: the later start was a frame's.
        table.remove(cands, 1)
        return r
    end
    settle(oldest)
    r.frame = decode_frame(oldest.payload)
    r.frame.start = oldest.start
    dev.candidates, dev.follows = {}, true
    return r
end

local function decode_input(data)
    local code = data and data:len() > 3 and data:get_index(3) or 0
    local raw = data and data:len() > 4 and data:get_index(4) or 0
    local count = raw >= 128 and raw - 256 or raw
    local axis = (code >= 0x11 and code <= 0x13) and code - 0x10 or 0
    local moves = axis ~= 0 and count ~= 0 and count >= -31 and count <= 31
    return { kind = "input", code = code, axis = axis, count = count, moves = moves }
end

-- Classifies a packet on the first pass; nil when it is none of ours.
local function examine(tvb, number)
    local urb_type, transfer = value(f_urb_type()), value(f_transfer())
    local bus, dev = value(f_bus()), value(f_device())
    if not urb_type or not transfer or not bus or not dev then return nil end
    if pendant.prefs.bus ~= 0 and bus ~= pendant.prefs.bus then return nil end
    if pendant.prefs.device ~= 0 and dev ~= pendant.prefs.device then return nil end
    local key = bus .. ":" .. dev
    local data = data_range(tvb, value(f_data_len()))

    if urb_type == URB_SUBMIT and transfer == XFER_CONTROL then
        local rt = f_request()
        if not rt then return nil end
        local setup = tvb(rt.offset, 8):bytes()
        -- 21 09 06 03: class request to an interface, SET_REPORT, feature report 6.
        if setup:get_index(0) ~= 0x21 or setup:get_index(1) ~= 0x09
           or setup:get_index(2) ~= 0x06 or setup:get_index(3) ~= 0x03 then
            return nil
        end
        local r = track_display(key, number, data and data:bytes() or ByteArray.new())
        if data then r.offset, r.len = data:offset(), data:len() end
        return r
    end

    if urb_type == URB_COMPLETE and transfer == XFER_INTERRUPT
       and value(f_endpoint()) == pendant.prefs.input_endpoint
       and value(f_status()) == 0 and data then
        local r = decode_input(data:bytes())
        r.offset, r.len = data:offset(), data:len()
        return r
    end
    return nil
end

local function show_display(r, tvb, pinfo, tree)
    local data = r.offset and tvb(r.offset, r.len) or nil
    local t = tree:add(pendant, data)
    local info
    if r.index then
        t:add(pf.report_index, r.index):set_generated()
        info = string.format("Display report %d", r.index)
        t:append_text(", display report " .. r.index)
    else
        info = "Display report, place in frame unknown"
        t:append_text(", display report (place in frame unknown)")
    end
    if data and r.len == 8 then
        local item = t:add(pf.report_payload, data(1, 7))
        if r.index then
            item:append_text(string.format(" (frame bytes %d..%d)", 7 * r.index, 7 * r.index + 6))
        end
    end
    if r.problem then
        t:add(pf.report_problem, r.problem):set_generated()
        t:add_proto_expert_info(ex_report, r.problem)
        info = info .. " [" .. r.problem .. "]"
    end
    local f = r.frame
    if f then
        local ft = t:add(pf.frame)
        ft:set_generated()
        ft:add(pf.frame_start, f.start):set_generated()
        for i, c in ipairs(COORDS) do
            ft:add(pf[c[1]], f.coords[i].value)
              :set_text(c[2] .. ": " .. coord_text(f.coords[i])):set_generated()
        end
        for i, w in ipairs(WORDS) do
            ft:add(pf[w[1]], f.words[i]):set_generated()
        end
        info = "Display frame: " .. frame_text(f)
        ft:append_text(": " .. frame_text(f))
        if f.problem then
            ft:add(pf.frame_problem, f.problem):set_generated()
            ft:add_proto_expert_info(ex_frame, f.problem)
            info = info .. " [" .. f.problem .. "]"
        end
    end
    pinfo.cols.info:set(info)
end

local function show_input(r, tvb, pinfo, tree)
    local data = tvb(r.offset, r.len)
    local t = tree:add(pendant, data)
    t:append_text(", input report")
    if r.len > 3 then t:add(pf.report_code, data(3, 1)) end
    t:add(pf.report_axis, r.axis):set_text("Axis: " .. AXIS_NAMES[r.axis]):set_generated()
    local count = r.len > 4 and t:add(pf.report_count, data(4, 1), r.count) or t:add(pf.report_count, r.count)
    -- A short report counts its missing bytes as zero.
    count:set_text(string.format("Jog count: %+d%s", r.count, r.len > 4 and "" or " (not in the report)"))
    t:add(pf.report_moves, r.moves):set_generated()
    pinfo.cols.info:set(string.format("Input report: axis %s, count %+d, %s",
        AXIS_NAMES[r.axis], r.count, r.moves and "moves" or "ignored"))
end

function pendant.dissector(tvb, pinfo, tree)
    if not pinfo.visited then
        results[pinfo.number] = examine(tvb, pinfo.number) or false
    end
    local r = results[pinfo.number]
    if not r then return end
    pinfo.cols.protocol:set("PENDANT")
    if r.kind == "display" then
        show_display(r, tvb, pinfo, tree)
    else
        show_input(r, tvb, pinfo, tree)
    end
end

register_postdissector(pendant)
