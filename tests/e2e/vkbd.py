#!/usr/bin/env python3
"""A keyboard for a Wayland compositor, as faithful as a real one: it uploads the ordinary
keymap (libxkbcommon's default, "us") once, through the virtual keyboard protocol, and then
sends evdev key codes, each followed by the modifier and lock state that libxkbcommon's state
machine derives from the keys so far, as a compositor does for a physical keyboard.

It stays connected until its standard input ends, so that the keyboard exists before the
program under test starts (a client binds its keyboard when the seat first has one). It reads
commands from standard input, one a line, and answers each on standard output:
    keycode KEYSYM   the evdev code of the key that has KEYSYM on its first level
    down CODE | up CODE
                     presses or releases the key with that evdev code
    locks            the locked modifiers: "caps", "num", "caps num" or nothing
Every answer ends with "." on a line of its own; a press or release is answered once the
compositor has taken it. Usage: vkbd.py (with WAYLAND_DISPLAY and XDG_RUNTIME_DIR set)
"""
import ctypes
import ctypes.util
import os
import socket
import struct
import sys
import tempfile
import time

xkb = ctypes.CDLL(ctypes.util.find_library("xkbcommon"))
for name, restype in [("xkb_context_new", ctypes.c_void_p), ("xkb_keymap_new_from_names", ctypes.c_void_p),
                      ("xkb_keymap_get_as_string", ctypes.c_void_p), ("xkb_state_new", ctypes.c_void_p),
                      ("xkb_keysym_from_name", ctypes.c_uint32), ("xkb_state_serialize_mods", ctypes.c_uint32),
                      ("xkb_state_serialize_layout", ctypes.c_uint32),
                      ("xkb_keymap_mod_get_index", ctypes.c_uint32)]:
    getattr(xkb, name).restype = restype
xkb.xkb_keymap_new_from_names.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int]
xkb.xkb_keymap_get_as_string.argtypes = [ctypes.c_void_p, ctypes.c_int]
xkb.xkb_state_new.argtypes = [ctypes.c_void_p]
xkb.xkb_state_update_key.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_int]
xkb.xkb_state_serialize_mods.argtypes = [ctypes.c_void_p, ctypes.c_int]
xkb.xkb_state_serialize_layout.argtypes = [ctypes.c_void_p, ctypes.c_int]
xkb.xkb_keymap_key_get_syms_by_level.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32,
                                                 ctypes.c_uint32, ctypes.POINTER(ctypes.POINTER(ctypes.c_uint32))]
xkb.xkb_keymap_mod_get_index.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
xkb.xkb_keysym_from_name.argtypes = [ctypes.c_char_p, ctypes.c_int]
libc = ctypes.CDLL(None)
libc.free.argtypes = [ctypes.c_void_p]

EVDEV_OFFSET = 8  # an xkb key code is the evdev code plus 8
DEPRESSED, LATCHED, LOCKED, LAYOUT_EFFECTIVE = 1, 2, 4, 128


class Wayland:
    """Just enough of the wire protocol: requests out, and the events this keyboard waits for."""

    def __init__(self, environment=os.environ):
        path = os.path.join(environment["XDG_RUNTIME_DIR"], environment.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.buffer = b""
        self.next_id = 2

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, args=b"", fds=()):
        message = struct.pack("=II", obj, (8 + len(args)) << 16 | opcode) + args
        ancillary = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, struct.pack("=%di" % len(fds), *fds))] if fds else []
        self.sock.sendmsg([message], ancillary)

    def events(self):
        """Yields (object, opcode, arguments) for every event until the caller stops."""
        while True:
            while len(self.buffer) >= 8:
                obj, word = struct.unpack_from("=II", self.buffer)
                size = word >> 16
                if len(self.buffer) < size:
                    break
                args, self.buffer = self.buffer[8:size], self.buffer[size:]
                if obj == 1 and word & 0xFFFF == 0:  # wl_display.error
                    code, = struct.unpack_from("=I", args, 4)
                    raise SystemExit("vkbd: protocol error %d: %s" % (code, string_at(args, 8)[0]))
                yield obj, word & 0xFFFF, args
            data = self.sock.recv(65536)
            if not data:
                raise SystemExit("vkbd: the compositor closed the connection")
            self.buffer += data

    def roundtrip(self, on_event=lambda *event: None):
        """Waits until the compositor has handled every request sent so far."""
        callback = self.new_id()
        self.send(1, 0, struct.pack("=I", callback))  # wl_display.sync
        for obj, opcode, args in self.events():
            if obj == callback:
                return
            on_event(obj, opcode, args)


def string_arg(text):
    data = text.encode() + b"\0"
    return struct.pack("=I", len(data)) + data + b"\0" * (-len(data) % 4)


def string_at(args, offset):
    length, = struct.unpack_from("=I", args, offset)
    text = args[offset + 4:offset + 4 + length - 1].decode()
    return text, offset + 4 + length + (-length % 4)


def connect_keyboard(wayland, keymap_text):
    registry = wayland.new_id()
    wayland.send(1, 1, struct.pack("=I", registry))  # wl_display.get_registry
    globals_ = {}

    def on_global(obj, opcode, args):
        if obj == registry and opcode == 0:
            name, = struct.unpack_from("=I", args)
            interface, offset = string_at(args, 4)
            globals_[interface] = name

    wayland.roundtrip(on_global)
    for wanted in ("wl_seat", "zwp_virtual_keyboard_manager_v1"):
        if wanted not in globals_:
            raise SystemExit("vkbd: the compositor has no " + wanted)

    def bind(interface):
        obj = wayland.new_id()
        wayland.send(registry, 0, struct.pack("=I", globals_[interface]) + string_arg(interface) +
                     struct.pack("=II", 1, obj))
        return obj

    seat, manager = bind("wl_seat"), bind("zwp_virtual_keyboard_manager_v1")
    keyboard = wayland.new_id()
    wayland.send(manager, 0, struct.pack("=II", seat, keyboard))  # create_virtual_keyboard
    data = keymap_text + b"\0"
    with tempfile.TemporaryFile() as file:
        file.write(data)
        file.flush()
        wayland.send(keyboard, 0, struct.pack("=II", 1, len(data)), [file.fileno()])  # keymap, xkb_v1
        wayland.roundtrip()
    return keyboard


def main():
    context = xkb.xkb_context_new(0)
    keymap = xkb.xkb_keymap_new_from_names(context, None, 0)
    if not keymap:
        raise SystemExit("vkbd: libxkbcommon has no default keymap")
    text = ctypes.string_at(xkb.xkb_keymap_get_as_string(keymap, 1))
    state = xkb.xkb_state_new(keymap)
    wayland = Wayland()
    keyboard = connect_keyboard(wayland, text)
    locks = {name: 1 << xkb.xkb_keymap_mod_get_index(keymap, name.encode()) for name in ("Lock", "Mod2")}
    start = time.monotonic()

    def answer(*lines):
        for line in lines:
            print(line)
        print(".", flush=True)

    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "keycode":
            wanted = xkb.xkb_keysym_from_name(words[1].encode(), 0)
            syms = ctypes.POINTER(ctypes.c_uint32)()
            codes = [code - EVDEV_OFFSET for code in range(EVDEV_OFFSET, 256)
                     if xkb.xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, ctypes.byref(syms)) == 1
                     and syms[0] == wanted]
            answer(*codes[:1])
        elif words[0] in ("down", "up"):
            code, pressed = int(words[1]), words[0] == "down"
            milliseconds = int((time.monotonic() - start) * 1000)
            wayland.send(keyboard, 1, struct.pack("=III", milliseconds, code, pressed))  # key
            xkb.xkb_state_update_key(state, code + EVDEV_OFFSET, 1 if pressed else 0)
            mods = [xkb.xkb_state_serialize_mods(state, part) for part in (DEPRESSED, LATCHED, LOCKED)]
            wayland.send(keyboard, 2, struct.pack("=IIII", *mods,
                                                   xkb.xkb_state_serialize_layout(state, LAYOUT_EFFECTIVE)))
            wayland.roundtrip()
            answer()
        elif words[0] == "locks":
            locked = xkb.xkb_state_serialize_mods(state, LOCKED)
            answer(" ".join(name for name, bit in (("caps", locks["Lock"]), ("num", locks["Mod2"]))
                            if locked & bit))
        else:
            answer("unknown command: " + words[0])


if __name__ == "__main__":
    main()
