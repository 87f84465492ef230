#!/usr/bin/env python3
"""A charger's line written from the protocol alone, sharing nothing with
solwatch-sim: a TEXT block a second, answers to ping, get device id and get
register. Prints its terminal's path first; serves until killed."""
import argparse, os, select, sys, time, tty

PRODUCT_ID, FIRMWARE = 0xA042, 0x4110  # an application firmware, version 1.10
FIELDS = [("PID", "0xA042"), ("FW", "110"), ("SER#", "EMU0000001"), ("V", "12800"), ("I", "3100"),
          ("VPV", "18200"), ("PPV", "40"), ("CS", "3"), ("ERR", "0")]
# register: (value, width in bytes); any other register is answered as absent
REGISTERS = {0x0201: (3, 1), 0xEDD7: (31, 2), 0xEDD5: (1280, 2), 0xEDBB: (1820, 2), 0xEDBC: (4000, 2),
             0xEDDB: (2150, 2), 0xEDDA: (0, 1)}


def text_block():
    block = b"".join(b"\r\n%s\t%s" % (label.encode(), value.encode()) for label, value in FIELDS)
    block += b"\r\nChecksum\t"
    return block + bytes([-sum(block) % 256])  # all bytes sum to 0 modulo 256


def frame(payload):
    """':', the code as one digit, the other bytes as two, the checksum, LF."""
    check = (0x55 - sum(payload)) % 256
    return (":%X" % payload[0] + "".join("%02X" % b for b in payload[1:]) + "%02X\n" % check).encode()


def answer(request):
    """The answer to a request's bytes (checksum dropped), or None."""
    code, body = request[0], request[1:]
    if code == 0x1:
        return frame([0x5, FIRMWARE & 0xFF, FIRMWARE >> 8])
    if code == 0x4:
        return frame([0x1, PRODUCT_ID & 0xFF, PRODUCT_ID >> 8])
    if code == 0x7 and len(body) == 2:
        register = body[0] | body[1] << 8
        if register not in REGISTERS:
            return frame([0x7, body[0], body[1], 0x01])
        value, width = REGISTERS[register]
        return frame([0x7, body[0], body[1], 0x00] + [(value >> (8 * i)) & 0xFF for i in range(width)])
    return frame([0x3])


def decode(text):
    """The bytes of a frame's hex text ("154" of ":154"), or None when bad."""
    try:
        payload = [int(text[0], 16)] + [int(text[i:i + 2], 16) for i in range(1, len(text) - 1, 2)]
    except ValueError:
        return None
    if len(text) % 2 == 0 or sum(payload) % 256 != 0x55:
        return None
    return payload[:-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--link")
    options = parser.parse_args()
    master, slave = os.openpty()
    tty.setraw(slave)  # kept open: the line stays up while no host holds it
    path = os.ttyname(slave)
    if options.link:
        if os.path.islink(options.link):
            os.unlink(options.link)
        os.symlink(path, options.link)
    print(path, flush=True)
    pending, next_block = b"", time.monotonic()
    while True:
        ready, _, _ = select.select([master], [], [], max(0.0, next_block - time.monotonic()))
        if ready:
            pending += os.read(master, 1024)
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                text = line[line.rfind(b":") + 1:].decode("ascii", "replace").strip() if b":" in line else ""
                request = decode(text) if text else None
                if request:
                    os.write(master, answer(request))
        if time.monotonic() >= next_block:
            os.write(master, text_block())
            next_block += 1.0


if __name__ == "__main__":
    sys.exit(main())
