#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

The seeds are committed; run this again only to change them. Input formats
are described at the top of each target's source file.
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- fuzz_ini: "<file>\0<section>\0<key>\0<value>" ----------------------------

PRESET = """[ToolsSendBulkPreset{n:02d}]
MidiOutDevName=Synth A
Data0Loop=0
Data1Loop=1
Data2Loop=1
LoopInfinite=0
Data0Min=1
Data0Max=16
Data1Min=0
Data1Max=127
Data2Min=0
Data2Max=127
LoopDelay=100
EventTypeIndex=0
"""

PROGRAM_FILE = ("[Test]\nWriteTest=1\n[Log]\nLogItemMax=400\n[MidiDevice]\nMidiInDevName=Keyboard\n"
                "MidiOutDevName=Synth A\n" + "".join(PRESET.format(n=n) for n in range(3)))


def ini(name, file, section, key, value):
    write("fuzz_ini", name, file.encode("utf-8") if isinstance(file, str) else file)
    path = os.path.join(ROOT, "fuzz_ini", name)
    with open(path, "ab") as f:
        f.write(b"\0" + section.encode() + b"\0" + key.encode() + b"\0" + value.encode())


ini("program-file-log-length", PROGRAM_FILE, "Log", "LogItemMax", "1000")
ini("program-file-device", PROGRAM_FILE, "MidiDevice", "MidiInDevName", "USB MIDI Interface MIDI 1")
ini("program-file-new-preset", PROGRAM_FILE, "ToolsSendBulkPreset15", "LoopDelay", "250")
ini("program-file-crlf", PROGRAM_FILE.replace("\n", "\r\n"), "Log", "LogItemMax", "50")
ini("program-file-bom", "\ufeff" + PROGRAM_FILE, "Test", "WriteTest", "1")
ini("empty-file", "", "Test", "WriteTest", "1")
ini("no-final-newline", "[Log]\nLogItemMax=400", "Log", "Other", "x")
ini("no-final-newline-new-section", "[Log]\nLogItemMax=400", "MidiDevice", "MidiOutDevName", "Synth B")
ini("comments-and-blanks",
    "; Orvalis\n# written by hand\n\n[Log]\n; the log's length\nLogItemMax = 400 \n\n; next\n[MidiDevice]\n",
    "Log", "LogItemMax", "12")
ini("duplicate-sections", "[Log]\nLogItemMax=1\n[log]\nLogItemMax=2\nOther=3\n", "LOG", "other", "4")
ini("duplicate-keys", "[Log]\nLogItemMax=1\nlogitemmax=2\n", "Log", "LOGITEMMAX", "3")
ini("hex-numbers", "[Log]\nLogItemMax=0x1F4\n[ToolsSendBulkPreset00]\nData0Min=$0A\nLoopDelay=0xFFFFFFFF\n",
    "Log", "LogItemMax", "$10")
ini("odd-numbers", "[Log]\nLogItemMax= 12\n[ToolsSendBulkPreset01]\nLoopDelay=-2147483648\nData1Max=999\n"
    "EventTypeIndex=0x\nData2Min=1e3\n", "ToolsSendBulkPreset01", "Data1Max", "127")
ini("spaced-header", "[ Log ]\n  LogItemMax  =  400  \n", "Log", "LogItemMax", "  padded  ")
ini("value-with-line-breaks", PROGRAM_FILE, "MidiDevice", "MidiOutDevName", "first\r\nsecond\nthird\rfourth")
ini("value-with-equals", "[A]\nk=a=b\n", "A", "k", "c=d=e")
ini("unicode-names", "[MidiDevice]\nMidiInDevName=Clavier \u00e9l\u00e9gant \U0001F3B9\n",
    "MidiDevice", "MidiOutDevName", "Synth\u00e9 \u266b")
ini("long-value", "[A]\nk=" + "x" * 2100 + "\n", "A", "k", "y" * 2100)
ini("mixed-endings", "[A]\r\nk=1\n[B]\rk=2\r\nj=3", "B", "j", "4")
ini("section-without-close", "[A\nk=1\n[B]\nk=2\n", "A", "k", "5")
ini("empty-section-name", "[]\nk=1\n", "C", "k", "2")
ini("invalid-utf8", b"[A]\nk=\xff\xfe\xc3\n[B\xc3]\nj=1\n", "A", "k", "ok")
ini("key-with-equals", "j=", "", "j=", "")  # a name the layer cannot write as such
write("fuzz_ini", "file-only", PROGRAM_FILE)

# ---- fuzz_hex_text: "<log text>[\0<caret position>]" --------------------------

LINES = [
    "[MIDI-In] - 90 3C 40 (Note On)",
    "[MIDI-In] - 80 3C 00 (Note Off)",
    "[MIDI-In] - B0 07 64 (Control Change)",
    "[MIDI-In] - C5 07 (Program Change)",
    "[MIDI-In] - E0 00 40 (Pitch Bend)",
    "[MIDI-In] - F1 23 (MTC Quarter Frame)",
    "[MIDI-In] - F2 10 02 (Song Position Pointer)",
    "[MIDI-In] - FA (Start)",
    "[MIDI-In] - FE (Active Sensing)",
    "[MIDI-In] - 3C 40 00 (Undefined)",
    "[MIDI-In] - F0 7E 00 F7  (Sysex - 4)",
    "[MIDI-In] - F0 01 02 03  (Sysex - 5)",
    "[MIDI-In] - F0 01 02 F7  (Sysex - 900)",
    "[Midi-Out] - F0 7F 00 06 02 F7",
    "[Midi-Out] - B0 01 02",
    "[Midi-Out] - FC",
    "[14:05:09:123] [MIDI-In] - 90 3C 40 (Note On)",
    "[14:05:09:123] [Midi-Out] - F0 7F 7F 06 01 F7",
    "Test boucle...",
    "Test boucle : OK.",
    "90 3C 7F",
    "903c7f",
    "0x90 0x3C",
    "$90 $3C",
    "9",
    "",
    " - ( - ",
]
for i, line in enumerate(LINES):
    write("fuzz_hex_text", "line-%02d" % i, line)
write("fuzz_hex_text", "sent-255-bytes", "[Midi-Out] -" + " 00" * 255)
write("fuzz_hex_text", "sent-256-bytes", "[Midi-Out] -" + " 00" * 256)
write("fuzz_hex_text", "sysex-250-pairs",
      "[MIDI-In] - F0 " + "11 " * 498 + "F7  (Sysex - 500)")
write("fuzz_hex_text", "log-caret-in-middle",
      "[MIDI-In] - 90 3C 40 (Note On)\n[Midi-Out] - B0 01 02\nTest boucle...\0" + "35")
write("fuzz_hex_text", "log-caret-on-first",
      "[14:05:09:123] [MIDI-In] - C0 05 (Program Change)\n[MIDI-In] - FA (Start)\n\0" + "3")
write("fuzz_hex_text", "empty-log-caret-at-0", "\0" + "0")
write("fuzz_hex_text", "log-caret-on-last-empty-line", "[Midi-Out] - FC\n\0" + "16")
write("fuzz_hex_text", "tabs-and-controls", "[Midi-Out] - 9\t0 3\x01C 4\x0b0")
write("fuzz_hex_text", "unicode", "[Midi-Out] - \uff19\uff10 3C \u00e9\U0001F3B9 40")

# ---- fuzz_midi_input: steps of an operation byte and its arguments ------------

SHORT, SYSEX, LONGERR, FORGED, FOREIGN, FILTERS, DRAIN = range(7)


def short(packed):
    return bytes([SHORT]) + struct.pack("<I", packed)


def sysex(data):
    return bytes([SYSEX]) + struct.pack("<H", len(data)) + bytes(data)


def long_error(data):
    return bytes([LONGERR, len(data)]) + bytes(data)


def forged(kind, recorded, data):
    return bytes([FORGED, kind]) + struct.pack("<I", recorded) + bytes([len(data)]) + bytes(data)


def foreign(recorded):
    return bytes([FOREIGN]) + struct.pack("<H", recorded)


def filters(bits):
    return bytes([FILTERS, bits])


DRAIN_STEP = bytes([DRAIN])

write("fuzz_midi_input", "note-on-off", short(0x403C90) + short(0x003C80))
write("fuzz_midi_input", "channel-messages",
      b"".join(short(p) for p in (0x7F3CA0, 0x6407B0, 0x05C0, 0x40D0, 0x4000E0)))
write("fuzz_midi_input", "system-messages",
      b"".join(short(p) for p in (0x23F1, 0x0210F2, 0x05F3, 0xF4, 0xF5, 0xF6, 0xF7)))
write("fuzz_midi_input", "real-time", b"".join(short(p) for p in range(0xF8, 0x100)))
write("fuzz_midi_input", "no-status-byte", short(0x00403C) + short(0) + short(0xFFFFFF7F))
write("fuzz_midi_input", "high-bytes", short(0xFFFFFFFF) + short(0xAB0000F8) + short(0x100000FE))
write("fuzz_midi_input", "filtered-clock-and-sensing",
      filters(3) + short(0xF8) + short(0xFE) + short(0x01F8) + filters(0) + short(0xF8) + short(0xFE))
write("fuzz_midi_input", "sysex-only", filters(4) + short(0x403C90) + sysex([0xF0, 0x7E, 0x00, 0xF7]))
write("fuzz_midi_input", "sysex-short", sysex([0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7]))
write("fuzz_midi_input", "sysex-empty", sysex([]))
write("fuzz_midi_input", "sysex-one-buffer", sysex([0xF0] + [0x11] * 22 + [0xF7]))
write("fuzz_midi_input", "sysex-two-buffers", sysex([0xF0] + [0x22] * 23 + [0xF7]))
write("fuzz_midi_input", "sysex-more-than-buffers", sysex([0xF0] + list(range(0x7F)) * 2 + [0xF7]))
write("fuzz_midi_input", "sysex-then-more", sysex([0xF0] + [0x33] * 100 + [0xF7]) + DRAIN_STEP +
      sysex([0xF0, 0x44, 0xF7]))
write("fuzz_midi_input", "long-error", long_error([0xF0, 0x01, 0x02]))
write("fuzz_midi_input", "forged-zero", forged(0, 0, [0xF0, 0xF7]))
write("fuzz_midi_input", "forged-beyond-buffer", forged(0, 0xFFFFFFFF, [0xF0] + [0x55] * 30))
write("fuzz_midi_input", "forged-error-beyond", forged(1, 25, [0xF0, 0x66]))
write("fuzz_midi_input", "foreign-header", foreign(4) + foreign(0xFFFF))
write("fuzz_midi_input", "overflow", b"".join(short(0x403C90 + i * 256) for i in range(40)) + DRAIN_STEP +
      short(0x90))
write("fuzz_midi_input", "overflow-with-sysex",
      b"".join(short(0x90) for _ in range(31)) + sysex([0xF0, 0x01, 0xF7]) + sysex([0xF0, 0x02, 0xF7]) +
      DRAIN_STEP + sysex([0xF0, 0x03, 0xF7]))
write("fuzz_midi_input", "mixed",
      short(0x403C90) + sysex([0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7]) + short(0xF8) +
      long_error([0xF0]) + DRAIN_STEP + short(0xC5) + foreign(2))

# ---- fuzz_sysex_file: the file's bytes; FF n first: a long message ahead ----

write("fuzz_sysex_file", "syx-two-messages", bytes([0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x43, 0x0A, 0xF7]))
write("fuzz_sysex_file", "syx-bytes-between", bytes([0xF0, 0x01, 0xF7, 0x0A, 0xF0, 0x02, 0xF7]))
write("fuzz_sysex_file", "syx-status-inside", bytes([0xF0, 0x41, 0x90, 0x3C, 0xF7]))
write("fuzz_sysex_file", "syx-no-f7", bytes([0xF0, 0x7E, 0x00]))
write("fuzz_sysex_file", "syx-after-mark", b"\xEF\xBB\xBF" + bytes([0xF0, 0x01, 0xF7]))
write("fuzz_sysex_file", "hex-lines", "F0 7E 7F 06 01 F7\nF0 43 0A F7\n")
write("fuzz_sysex_file", "hex-prefixes", "0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7,\n$F0,$43,$0A,$F7")
write("fuzz_sysex_file", "hex-together-crlf", "f07e7f0601f7\r\nF0430AF7\r\n")
write("fuzz_sysex_file", "hex-mark", "\ufeffF0 01 F7")
write("fuzz_sysex_file", "hex-odd-digit", "F0 7E 7 F7")
write("fuzz_sysex_file", "hex-word", "F0 7E 7F\n06 01 F7 fin\n")
write("fuzz_sysex_file", "only-blanks", " \n\t\r\n")
write("fuzz_sysex_file", "long-at-the-limit", bytes([0xFF, 15]))
write("fuzz_sysex_file", "long-above-the-limit", bytes([0xFF, 16, 0xF0, 0x01, 0xF7]))
