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
-- The host sizes its reads by the HID report descriptor (GET_DESCRIPTOR of
-- the report descriptor to interface 0, at the end of opening): one read,
-- one input report. The dissector reads the same descriptor from the
-- capture and shows, on every input completion, the size it declares;
-- a completion of another length is a report split over reads or merged
-- with the next one, and is flagged. A zero-length completion (the packet
-- that ends a transfer whose last packet was full) is no report.
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
    input_length   = ProtoField.uint16("pendant.input.length", "Completion length", base.DEC, nil, nil,
                                       "Bytes this input completion delivered"),
    input_declared = ProtoField.uint16("pendant.input.declared", "Declared report size", base.DEC, nil, nil,
                                       "Input report size the device's report descriptor declares"),
    desc_interface = ProtoField.uint8("pendant.descriptor.interface", "Report descriptor of interface"),
    desc_request   = ProtoField.framenum("pendant.descriptor.request", "Requested in"),
    desc_length    = ProtoField.uint16("pendant.descriptor.length", "Descriptor length"),
    desc_input     = ProtoField.uint16("pendant.descriptor.input_size", "Input report size", base.DEC, nil, nil,
                                       "Largest input report declared, with its report id byte (at most 64)"),
    desc_problem   = ProtoField.string("pendant.descriptor.problem", "Descriptor problem"),
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
local ex_length = ProtoExpert.new("pendant.report.length", "Input completion is not one declared report",
                                  expert.group.PROTOCOL, expert.severity.WARN)
local ex_descriptor = ProtoExpert.new("pendant.descriptor.unknown", "Input report size unknown",
                                      expert.group.PROTOCOL, expert.severity.WARN)
pendant.experts = { ex_frame, ex_report, ex_length, ex_descriptor }

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
local f_urb_id   = Field.new("usb.urb_id")
local f_urb_len  = Field.new("usb.urb_len")   -- on a completion: the bytes transferred

local URB_SUBMIT, URB_COMPLETE = 0x53, 0x43      -- 'S', 'C'
local XFER_INTERRUPT, XFER_CONTROL = 1, 2

-- Results per packet number, filled on the first pass in capture order;
-- later passes (tshark -2, clicking around in the GUI) only show them.
local results = {}
-- Per device ("bus:address"): the display frame being collected and the
-- input report size its report descriptor declares (nil: unknown, 0: none).
local devices = {}
-- GET_DESCRIPTOR (report) requests awaiting their completion, by URB id.
local pending = {}

function pendant.init()
    results = {}
    devices = {}
    pending = {}
end

local function device_state(key)
    local dev = devices[key]
    if not dev then
        dev = { candidates = {} }
        devices[key] = dev
    end
    return dev
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
    local dev = device_state(key)
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

-- The most the host reads at once: a larger report is read as this much.
local READ_CAP = 64
-- Deep enough for any real descriptor; deeper is taken as malformed.
local MAX_PUSH_DEPTH = 16

-- The bytes of the largest input report a HID report descriptor (a
-- ByteArray) declares: per report id, Report Size x Report Count summed
-- over the Input items, bits rounded up to bytes, plus the id byte when the
-- descriptor uses ids; at most READ_CAP. 0 when it declares no input
-- report; nil and why when it cannot be read, since then none of it can be
-- trusted. The host reads it the same way.
local function largest_input_report(d)
    local len = d:len()
    local bits, uses_ids = {}, false
    local g = { size = 0, count = 0, id = 0 }
    local stack = {}
    local at = 0
    while at < len do
        local prefix = d:get_index(at)
        if prefix == 0xFE then
            -- A long item: its data size, its tag, its data; nothing we read.
            if len - at < 3 then return nil, "a long item cut short" end
            local skip = 3 + d:get_index(at + 1)
            if len - at < skip then return nil, "a long item cut short" end
            at = at + skip
        else
            local size = prefix % 4
            if size == 3 then size = 4 end
            if len - at - 1 < size then return nil, "an item cut short at byte " .. at end
            local value = 0
            for i = size - 1, 0, -1 do
                value = value * 256 + d:get_index(at + 1 + i)
            end
            local itype, tag = math.floor(prefix / 4) % 4, math.floor(prefix / 16)
            at = at + 1 + size
            if itype == 1 then -- global
                if tag == 0x7 then
                    g.size = value
                elseif tag == 0x9 then
                    g.count = value
                elseif tag == 0x8 then
                    g.id, uses_ids = value % 256, true
                elseif tag == 0xA then
                    if #stack == MAX_PUSH_DEPTH then return nil, "pushes deeper than " .. MAX_PUSH_DEPTH end
                    stack[#stack + 1] = { size = g.size, count = g.count, id = g.id }
                elseif tag == 0xB then
                    if #stack == 0 then return nil, "a pop without a push" end
                    g = table.remove(stack)
                end
            elseif itype == 0 and tag == 0x8 then -- main: Input
                -- Bounded: past the cap the size no longer matters.
                bits[g.id] = math.min((bits[g.id] or 0) + g.size * g.count, 2 ^ 20)
            end
        end
    end
    local largest = 0
    for _, b in pairs(bits) do
        largest = math.max(largest, math.ceil(b / 8) + (uses_ids and 1 or 0))
    end
    return math.min(largest, READ_CAP)
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
        -- 81 06 00 22 00 00: GET_DESCRIPTOR of the report descriptor of
        -- interface 0, the one the host sizes its reads by.
        if has_bytes(setup, { 0x81, 0x06, 0x00, 0x22, 0x00, 0x00 }) then
            local id = value(f_urb_id())
            if id then pending[key .. "/" .. tostring(id)] = number end
            return { kind = "descriptor request", offset = rt.offset, len = 8 }
        end
        -- 21 09 06 03: class request to an interface, SET_REPORT, feature report 6.
        if setup:get_index(0) ~= 0x21 or setup:get_index(1) ~= 0x09
           or setup:get_index(2) ~= 0x06 or setup:get_index(3) ~= 0x03 then
            return nil
        end
        local r = track_display(key, number, data and data:bytes() or ByteArray.new())
        if data then r.offset, r.len = data:offset(), data:len() end
        return r
    end

    if urb_type == URB_COMPLETE and transfer == XFER_CONTROL then
        local id = value(f_urb_id())
        local request = id and pending[key .. "/" .. tostring(id)]
        if not request then return nil end
        pending[key .. "/" .. tostring(id)] = nil
        local r = { kind = "descriptor", request = request }
        local dev = device_state(key)
        local status, urb_len = value(f_status()), value(f_urb_len()) or 0
        if status ~= 0 then
            -- The host reads by its old rule then.
            r.problem = string.format("request failed, status %d", status)
        elseif (data and data:len() or 0) < urb_len then
            r.problem = "the descriptor is not captured whole"
        else
            r.desc_len = urb_len
            r.size, r.problem = largest_input_report(data and data:bytes() or ByteArray.new())
            if r.problem then r.problem = "malformed: " .. r.problem end
        end
        if data then r.offset, r.len = data:offset(), data:len() end
        dev.input_size = r.size
        return r
    end

    if urb_type == URB_COMPLETE and transfer == XFER_INTERRUPT
       and value(f_endpoint()) == pendant.prefs.input_endpoint
       and value(f_status()) == 0 then
        local declared = device_state(key).input_size
        if declared == 0 then declared = nil end
        if (value(f_urb_len()) or 0) == 0 then
            return { kind = "zlp", declared = declared }
        end
        if not data then return nil end -- not captured
        local r = decode_input(data:bytes())
        r.offset, r.len, r.declared = data:offset(), data:len(), declared
        if declared and r.len ~= declared then
            r.problem = string.format("%d bytes, not the declared %d: a report split or merged", r.len, declared)
        end
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

local function show_descriptor(r, tvb, pinfo, tree)
    local t = tree:add(pendant, r.offset and tvb(r.offset, r.len) or nil)
    t:add(pf.desc_interface, 0):set_generated()
    if r.kind == "descriptor request" then
        t:append_text(", report descriptor request")
        pinfo.cols.info:set("Report descriptor request: interface 0")
        return
    end
    t:append_text(", report descriptor")
    t:add(pf.desc_request, r.request):set_generated()
    if r.desc_len then t:add(pf.desc_length, r.desc_len):set_generated() end
    local info
    if r.problem then
        t:add(pf.desc_problem, r.problem):set_generated()
        t:add_proto_expert_info(ex_descriptor, "Input report size unknown: " .. r.problem)
        info = "input report size unknown (" .. r.problem .. ")"
    elseif r.size == 0 then
        info = "no input report"
    else
        t:add(pf.desc_input, r.size):set_generated()
        info = string.format("input report %d bytes", r.size)
    end
    t:append_text(": " .. info)
    pinfo.cols.info:set("Report descriptor: " .. info)
end

local ZLP_TEXT = "zero-length packet: ends a transfer, no report"

local function show_input(r, tvb, pinfo, tree)
    if r.kind == "zlp" then
        local t = tree:add(pendant)
        t:append_text(", " .. ZLP_TEXT)
        t:add(pf.input_length, 0):set_generated()
        if r.declared then t:add(pf.input_declared, r.declared):set_generated() end
        pinfo.cols.info:set(ZLP_TEXT)
        return
    end
    local data = tvb(r.offset, r.len)
    local t = tree:add(pendant, data)
    t:append_text(", input report")
    t:add(pf.input_length, r.len):set_generated()
    if r.declared then t:add(pf.input_declared, r.declared):set_generated() end
    if r.problem then
        t:add(pf.report_problem, r.problem):set_generated()
        t:add_proto_expert_info(ex_length, r.problem)
    end
    if r.len > 3 then t:add(pf.report_code, data(3, 1)) end
    t:add(pf.report_axis, r.axis):set_text("Axis: " .. AXIS_NAMES[r.axis]):set_generated()
    local count = r.len > 4 and t:add(pf.report_count, data(4, 1), r.count) or t:add(pf.report_count, r.count)
    -- A short report counts its missing bytes as zero.
    count:set_text(string.format("Jog count: %+d%s", r.count, r.len > 4 and "" or " (not in the report)"))
    t:add(pf.report_moves, r.moves):set_generated()
    pinfo.cols.info:set(string.format("Input report: axis %s, count %+d, %s%s",
        AXIS_NAMES[r.axis], r.count, r.moves and "moves" or "ignored",
        r.problem and " [" .. r.problem .. "]" or ""))
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
    elseif r.kind == "descriptor" or r.kind == "descriptor request" then
        show_descriptor(r, tvb, pinfo, tree)
    else
        show_input(r, tvb, pinfo, tree)
    end
end

register_postdissector(pendant)
