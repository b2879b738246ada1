#!/usr/bin/env python3
"""Generate the Tavrin demo game movie: a small AVM1 (ActionScript 2) SWF.

The launcher needs something to play during development and in automated
runs that exercises the same host contract as the real game: FlashVars,
ExternalInterface calls in both directions and an fscommand from a button.
Everything is assembled here by hand with the standard library only, so the
movie is ours, reproducible byte for byte, and needs no Flash toolchain.

Usage:
    python3 make_swf.py OUTPUT.swf [--compress]   # write the movie
    python3 make_swf.py OUTPUT.swf --banner       # write the login page's banner
    python3 make_swf.py --check                   # build in memory, re-parse it

What the movie does, and what a host can observe:
  * title, plus the FlashVars server/player/lang it was given ("(none)" if absent)
  * ExternalInterface.call("GetSysMem") once at start, shown as "GetSysMem: ..."
  * ExternalInterface.addCallback("stageResize", ...): each call bumps a counter
  * a "Refresh" button whose release sends fscommand("GameRefresh", "")
  * a spinning square and a frame counter, so a screenshot shows it is running
  * ExternalInterface.call("tavrinDemoState", "sysmem=<value|none>;resize=<n>")
    at start and after every stageResize, for automated checks; a host that
    does not define tavrinDemoState simply ignores it.
"""

import struct
import sys
import zlib

SWF_VERSION = 8          # ExternalInterface needs 8; still plain AVM1
STAGE_W, STAGE_H = 1000, 600
FRAME_RATE = 24
BACKGROUND = (0x16, 0x1A, 0x24)

# Latin only: Ruffle's built-in _sans font has no CJK glyphs and drops them
# silently unless the host configures device fonts, so keep the demo legible anywhere.
TITLE = "Tavrin Demo"
BUTTON_LABEL = "Refresh"
FLASHVARS = ("server", "player", "lang")


# --------------------------------------------------------------------------
# AVM1 assembler
# --------------------------------------------------------------------------

class Undefined:
    pass


UNDEF = Undefined()

# Opcodes we use. Values below 0x80 carry no payload.
OP = {
    "stop": 0x07, "not": 0x12, "pop": 0x17,
    "getvar": 0x1C,
    "deflocal": 0x3C, "callfunc": 0x3D, "return": 0x3E, "new": 0x40,
    "add2": 0x47, "eq2": 0x49, "greater": 0x67,
    "getmember": 0x4E, "setmember": 0x4F,
    "increment": 0x50, "callmethod": 0x52,
    "geturl": 0x83, "pool": 0x88, "deffunc": 0x9B,
    "push": 0x96, "jump": 0x99, "if": 0x9D,
}


def cstr(s):
    return s.encode("utf-8") + b"\0"   # SWF 6+ strings are UTF-8


def action(code, payload=b""):
    if code < 0x80:
        assert not payload
        return bytes([code])
    return struct.pack("<BH", code, len(payload)) + payload


class Pool:
    """One constant pool per DoAction; functions defined in it share it."""

    def __init__(self):
        self.strings = []
        self.index = {}

    def ref(self, s):
        if s not in self.index:
            self.index[s] = len(self.strings)
            self.strings.append(s)
        return self.index[s]

    def encode(self):
        return action(OP["pool"], struct.pack("<H", len(self.strings))
                      + b"".join(cstr(s) for s in self.strings))


class Code:
    """A linear block of actions with forward/backward labels."""

    def __init__(self, pool):
        self.pool = pool
        self.items = []      # bytes | ("branch", opcode, label) | ("label", name)
        self.nlabels = 0

    def op(self, name, payload=b""):
        self.items.append(action(OP[name], payload))

    def raw(self, data):
        self.items.append(data)

    def push(self, *values):
        out = bytearray()
        for v in values:
            if isinstance(v, Undefined):
                out += b"\x03"
            elif v is None:
                out += b"\x02"
            elif isinstance(v, bool):
                out += bytes([5, int(v)])
            elif isinstance(v, int):
                out += b"\x07" + struct.pack("<i", v)
            elif isinstance(v, float):
                # AVM1 stores doubles with the two 32-bit halves swapped.
                d = struct.pack("<d", v)
                out += b"\x06" + d[4:] + d[:4]
            elif isinstance(v, str):
                i = self.pool.ref(v)
                out += bytes([8, i]) if i < 256 else b"\x09" + struct.pack("<H", i)
            else:
                raise TypeError(v)
        self.op("push", bytes(out))

    def new_label(self):
        self.nlabels += 1
        return self.nlabels

    def branch(self, name, label):
        self.items.append(("branch", OP[name], label))

    def label(self, label):
        self.items.append(("label", label))

    def assemble(self):
        pos, where = 0, {}
        for it in self.items:
            if isinstance(it, tuple):
                if it[0] == "label":
                    where[it[1]] = pos
                else:
                    pos += 5
            else:
                pos += len(it)
        out, pos = bytearray(), 0
        for it in self.items:
            if isinstance(it, tuple):
                if it[0] == "branch":
                    # Branch offsets count from the end of the branch action.
                    out += struct.pack("<BHh", it[1], 2, where[it[2]] - (pos + 5))
                    pos += 5
            else:
                out += it
                pos += len(it)
        return bytes(out)


# --------------------------------------------------------------------------
# A tiny expression/statement tree, so the movie logic below reads like AS2
# --------------------------------------------------------------------------

def emit(c, e):
    """Push the value of expression e."""
    if isinstance(e, Node):
        e.emit(c)
    else:
        c.push(e)


class Node:
    pass


class Var(Node):
    def __init__(self, name):
        self.name = name

    def emit(self, c):
        c.push(self.name)
        c.op("getvar")


class Get(Node):
    def __init__(self, obj, name):
        self.obj, self.name = obj, name

    def emit(self, c):
        emit(c, self.obj)
        emit(c, self.name)
        c.op("getmember")


class Call(Node):
    def __init__(self, fname, *args):
        self.fname, self.args = fname, args

    def emit(self, c):
        for a in reversed(self.args):
            emit(c, a)
        c.push(len(self.args), self.fname)
        c.op("callfunc")


class Method(Node):
    def __init__(self, obj, name, *args):
        self.obj, self.name, self.args = obj, name, args

    def emit(self, c):
        for a in reversed(self.args):
            emit(c, a)
        c.push(len(self.args))
        emit(c, self.obj)
        c.push(self.name)
        c.op("callmethod")


class New(Node):
    def __init__(self, cls, *args):
        self.cls, self.args = cls, args

    def emit(self, c):
        for a in reversed(self.args):
            emit(c, a)
        c.push(len(self.args), self.cls)
        c.op("new")


class Bin(Node):
    def __init__(self, opname, a, b):
        self.opname, self.a, self.b = opname, a, b

    def emit(self, c):
        emit(c, self.a)
        emit(c, self.b)
        c.op(self.opname)


def Cat(*parts):
    e = parts[0]
    for p in parts[1:]:
        e = Bin("add2", e, p)
    return e


class Func(Node):
    """Anonymous function value (ActionDefineFunction with an empty name)."""

    def __init__(self, params, body):
        self.params, self.body = params, body

    def emit(self, c):
        inner = Code(c.pool)
        block(inner, self.body)
        body = inner.assemble()
        head = cstr("") + struct.pack("<H", len(self.params))
        head += b"".join(cstr(p) for p in self.params)
        head += struct.pack("<H", len(body))
        c.raw(action(OP["deffunc"], head) + body)


# Statements are tuples: (kind, ...)

def block(c, stmts):
    for s in stmts:
        kind = s[0]
        if kind == "do":                       # expression statement
            emit(c, s[1])
            c.op("pop")
        elif kind == "set":                    # obj.name = value
            emit(c, s[1])
            emit(c, s[2])
            emit(c, s[3])
            c.op("setmember")
        elif kind == "local":                  # var name = value
            c.push(s[1])
            emit(c, s[2])
            c.op("deflocal")
        elif kind == "inc":                    # obj.name++
            emit(c, s[1])
            c.push(s[2])
            emit(c, Get(s[1], s[2]))
            c.op("increment")
            c.op("setmember")
        elif kind == "if":                     # if (cond) a else b
            otherwise, end = c.new_label(), c.new_label()
            emit(c, s[1])
            c.op("not")
            c.branch("if", otherwise)
            block(c, s[2])
            c.branch("jump", end)
            c.label(otherwise)
            block(c, s[3] if len(s) > 3 else [])
            c.label(end)
        elif kind == "return":
            emit(c, s[1])
            c.op("return")
        elif kind == "fscommand":
            # fscommand(cmd, args) is a GetURL whose URL says FSCommand: and
            # whose target slot carries the argument string.
            c.op("geturl", cstr("FSCommand:" + s[1]) + cstr(s[2]))
        elif kind == "stop":
            c.op("stop")
        else:
            raise ValueError(kind)


# --------------------------------------------------------------------------
# The movie logic
# --------------------------------------------------------------------------

ROOT = Var("_root")
EI = Get(Get(Var("flash"), "external"), "ExternalInterface")


def R(name):
    return Get(ROOT, name)


def text_line(name, depth, y, size, color, parent=ROOT, x=40, w=920, h=None, align="left"):
    return ("do", Method(ROOT, "tvText", parent, name, depth, x, y, w, h or size + 14, size, color, align))


def program():
    fv = lambda n: Method(ROOT, "tvVar", n)
    report = ("do", Method(EI, "call", "tavrinDemoState",
                           Cat("sysmem=", R("tvSys"), ";resize=", R("tvResize"))))
    square = [("do", Method(R("tvSpin"), m, *a))
              for m, a in (("beginFill", (0xE0A030, 100)), ("moveTo", (-30, -30)),
                           ("lineTo", (30, -30)), ("lineTo", (30, 30)),
                           ("lineTo", (-30, 30)), ("lineTo", (-30, -30)), ("endFill", ()))]
    button = R("tvButton")
    return [
        ("stop",),  # one frame; everything else is driven by events

        # tvText(parent, name, depth, x, y, w, h, size, color, align): a
        # non-selectable device-font text field, so it never eats clicks. No
        # bold: Ruffle has no bold _sans and substitutes another face.
        ("set", ROOT, "tvText", Func(
            ["p", "n", "d", "x", "y", "w", "h", "size", "color", "align"], [
                ("do", Method(Var("p"), "createTextField", Var("n"), Var("d"), Var("x"),
                              Var("y"), Var("w"), Var("h"))),
                ("local", "t", Get(Var("p"), Var("n"))),
                ("set", Var("t"), "selectable", False),
                ("local", "f", New("TextFormat", "_sans", Var("size"), Var("color"))),
                ("set", Var("f"), "align", Var("align")),
                ("do", Method(Var("t"), "setNewTextFormat", Var("f"))),
                ("return", Var("t")),
            ])),

        # A missing FlashVar must not show up as "undefined".
        ("set", ROOT, "tvVar", Func(["n"], [
            ("local", "v", Get(ROOT, Var("n"))),
            ("if", Bin("eq2", Var("v"), UNDEF), [("return", "(none)")]),
            ("return", Call("String", Var("v"))),
        ])),

        text_line("tvTitle", 10, 30, 40, 0xFFFFFF),
        ("set", R("tvTitle"), "text", TITLE),
        text_line("tvVars", 11, 100, 22, 0x9FD3FF),
        ("set", R("tvVars"), "text",
         Cat(*sum(([("  " if i else "") + n + "=", fv(n)] for i, n in enumerate(FLASHVARS)), []))),

        # Ask the host once; the answer (or its absence) is shown and reported.
        ("local", "sys", Method(EI, "call", "GetSysMem")),
        text_line("tvSysLine", 12, 150, 22, 0xE6E6E6),
        ("if", Bin("eq2", Var("sys"), UNDEF), [
            ("set", ROOT, "tvSys", "none"),
            ("set", R("tvSysLine"), "text", "GetSysMem: (no answer)"),
        ], [
            ("set", ROOT, "tvSys", Call("String", Var("sys"))),
            ("set", R("tvSysLine"), "text", Cat("GetSysMem: ", R("tvSys"))),
        ]),

        ("set", ROOT, "tvResize", 0),
        text_line("tvResizeLine", 13, 190, 22, 0xE6E6E6),
        ("set", R("tvResizeLine"), "text", "stageResize: 0"),
        ("set", ROOT, "tvReport", Func([], [report])),
        ("do", Method(EI, "addCallback", "stageResize", None, Func([], [
            ("inc", ROOT, "tvResize"),
            ("set", R("tvResizeLine"), "text", Cat("stageResize: ", R("tvResize"))),
            ("do", Method(ROOT, "tvReport")),
            ("return", R("tvResize")),
        ]))),

        # The button: a drawn clip with a label; release sends the fscommand.
        ("do", Method(ROOT, "createEmptyMovieClip", "tvButton", 50)),
        ("set", button, "_x", 40),
        ("set", button, "_y", 260),
        ("do", Method(button, "beginFill", 0x2F6FD0, 100)),
        ("do", Method(button, "moveTo", 0, 0)),
        ("do", Method(button, "lineTo", 240, 0)),
        ("do", Method(button, "lineTo", 240, 60)),
        ("do", Method(button, "lineTo", 0, 60)),
        ("do", Method(button, "lineTo", 0, 0)),
        ("do", Method(button, "endFill")),
        text_line("tvLabel", 1, 13, 26, 0xFFFFFF, parent=button,
                  x=0, w=240, h=36, align="center"),
        ("set", Get(button, "tvLabel"), "text", BUTTON_LABEL),
        ("set", button, "onPress", Func([], [("set", R("tvButton"), "_alpha", 70)])),
        ("set", button, "onReleaseOutside", Func([], [("set", R("tvButton"), "_alpha", 100)])),
        ("set", button, "onRelease", Func([], [
            ("set", R("tvButton"), "_alpha", 100),
            ("fscommand", "GameRefresh", ""),
        ])),

        # Something that visibly moves.
        ("do", Method(ROOT, "createEmptyMovieClip", "tvSpin", 60)),
        ("set", R("tvSpin"), "_x", 860),
        ("set", R("tvSpin"), "_y", 460),
        *square,
        ("set", ROOT, "tvFrames", 0),
        text_line("tvFrameLine", 14, 540, 18, 0x8A93A6),
        ("set", ROOT, "onEnterFrame", Func([], [
            ("inc", ROOT, "tvFrames"),
            ("set", R("tvFrameLine"), "text", Cat("frames: ", R("tvFrames"))),
            ("set", R("tvSpin"), "_rotation", Bin("add2", Get(R("tvSpin"), "_rotation"), 6)),
        ])),

        report,
    ]


BANNER_W, BANNER_H = 300, 60
BANNER_TEXT = "New server open - play now"


def banner_program():
    """The login page's banner, as operators' pages of this kind carry one: a sliding
    shine over a coloured strip and a line of text. Once it plays it calls
    ExternalInterface "tavrinBannerShown", so a page (and a test) can tell."""
    shine = R("tvShine")
    return [
        ("stop",),
        ("do", Method(ROOT, "createEmptyMovieClip", "tvStrip", 1)),
        *[("do", Method(R("tvStrip"), m, *a))
          for m, a in (("beginFill", (0xA53A12, 100)), ("moveTo", (0, 0)),
                       ("lineTo", (BANNER_W, 0)), ("lineTo", (BANNER_W, BANNER_H)),
                       ("lineTo", (0, BANNER_H)), ("lineTo", (0, 0)), ("endFill", ()))],
        ("do", Method(ROOT, "createEmptyMovieClip", "tvShine", 2)),
        *[("do", Method(shine, m, *a))
          for m, a in (("beginFill", (0xFFD080, 45)), ("moveTo", (0, 0)), ("lineTo", (40, 0)),
                       ("lineTo", (20, BANNER_H)), ("lineTo", (-20, BANNER_H)),
                       ("lineTo", (0, 0)), ("endFill", ()))],
        ("do", Method(ROOT, "createTextField", "tvLine", 3, 10, 16, BANNER_W - 20, 30)),
        ("set", R("tvLine"), "selectable", False),
        ("local", "f", New("TextFormat", "_sans", 18, 0xFFFFFF)),
        ("set", Var("f"), "align", "center"),
        ("do", Method(R("tvLine"), "setNewTextFormat", Var("f"))),
        ("set", R("tvLine"), "text", BANNER_TEXT),
        ("set", ROOT, "onEnterFrame", Func([], [
            ("set", shine, "_x", Bin("add2", Get(shine, "_x"), 4)),
            ("if", Bin("greater", Get(shine, "_x"), BANNER_W + 40), [("set", shine, "_x", -40)]),
        ])),
        ("do", Method(EI, "call", "tavrinBannerShown")),
    ]


def do_action_bytes(statements=None):
    pool = Pool()
    c = Code(pool)
    block(c, statements if statements is not None else program())
    body = c.assemble()
    return pool.encode() + body + b"\0"


# --------------------------------------------------------------------------
# SWF container
# --------------------------------------------------------------------------

def tag(code, payload=b""):
    if len(payload) < 0x3F:
        return struct.pack("<H", code << 6 | len(payload)) + payload
    return struct.pack("<HI", code << 6 | 0x3F, len(payload)) + payload


def rect(xmin, xmax, ymin, ymax):
    vals = (xmin, xmax, ymin, ymax)
    nbits = max(max(v, -v - 1).bit_length() + 1 for v in vals)
    bits = format(nbits, "05b") + "".join(format(v & ((1 << nbits) - 1), "0%db" % nbits) for v in vals)
    bits += "0" * (-len(bits) % 8)
    return int(bits, 2).to_bytes(len(bits) // 8, "big")


def build(compress=False, banner=False):
    width, height = (BANNER_W, BANNER_H) if banner else (STAGE_W, STAGE_H)
    body = rect(0, width * 20, 0, height * 20)              # twips
    body += struct.pack("<HH", FRAME_RATE << 8, 1)          # 8.8 fixed fps, 1 frame
    body += tag(69, struct.pack("<I", 0x01))                # FileAttributes: AS1/2, UseNetwork
    body += tag(9, bytes(BACKGROUND))                       # SetBackgroundColor
    body += tag(12, do_action_bytes(banner_program() if banner else None))  # DoAction
    body += tag(1)                                          # ShowFrame
    body += tag(0)                                          # End
    length = 8 + len(body)
    if compress:
        return b"CWS" + struct.pack("<BI", SWF_VERSION, length) + zlib.compress(body, 9)
    return b"FWS" + struct.pack("<BI", SWF_VERSION, length) + body


def self_check():
    """Re-parse what we build: header, tag chain, and the strings the host relies on."""
    for compress in (False, True):
        data = build(compress)
        sig, ver, length = data[:3], data[3], struct.unpack("<I", data[4:8])[0]
        body = zlib.decompress(data[8:]) if sig == b"CWS" else data[8:]
        assert sig in (b"FWS", b"CWS") and ver == SWF_VERSION and length == 8 + len(body)
        nbits = body[0] >> 3
        pos = (5 + 4 * nbits + 7) // 8 + 4
        codes = []
        while pos < len(body):
            hdr = struct.unpack("<H", body[pos:pos + 2])[0]
            code, n, pos = hdr >> 6, hdr & 0x3F, pos + 2
            if n == 0x3F:
                n, pos = struct.unpack("<I", body[pos:pos + 4])[0], pos + 4
            codes.append(code)
            if code == 12:
                actions = body[pos:pos + n]
            pos += n
        assert pos == len(body) and codes == [69, 9, 12, 1, 0], codes
        for s in ("GetSysMem", "stageResize", "tavrinDemoState", "FSCommand:GameRefresh", TITLE):
            assert cstr(s) in actions, s
    assert build() == build(), "not deterministic"
    print("self-check ok (%d bytes)" % len(build()))


def main(argv):
    if argv[1:] == ["--check"]:
        self_check()
        return 0
    args = [a for a in argv[1:] if a not in ("--compress", "--banner")]
    if len(args) != 1:
        sys.stderr.write(__doc__.split("Usage:")[1].split("What the")[0])
        return 2
    data = build("--compress" in argv, "--banner" in argv)
    with open(args[0], "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (args[0], len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
