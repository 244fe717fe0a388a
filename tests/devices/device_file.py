"""A small reader of data/devices.txt and of Intel hex files for the device
tests (the program reads the file with devices/DeviceDb.cpp)."""


def number(text):
    return int(text, 0)


def read_devices(path):
    """The parts of a device file as dictionaries, "-of" lines resolved."""
    parts = []
    by_name = {}
    part = None
    for line in open(path, encoding="ascii"):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        key, rest = line[0], line[1:]
        if key.startswith("["):
            part = {"name": key.strip("[]"), "config": [], "registers": []}
            parts.append(part)
            by_name[part["name"]] = part
        elif key == "config":
            part["config"].append({"address": number(rest[0]), "name": rest[1],
                                   "implemented": number(rest[2]), "fields": []})
        elif key == "field":
            settings = [(s.split("=")[0], number(s.split("=")[1])) for s in rest[1:]]
            part["config"][-1]["fields"].append((number(rest[0]), settings))
        elif key == "reg":
            bits = [None if b == "-" else b for b in rest[2:]] or [None] * 8
            part["registers"].append((number(rest[0]), rest[1], bits))
        elif key == "config-of":
            part["config"] = by_name[rest[0]]["config"]
        elif key == "registers-of":
            part["registers"] = by_name[rest[0]]["registers"]
        elif key == "core":
            part["core"] = rest[0]
        elif key in ("id", "eeprom", "flash-data"):
            part[key] = (number(rest[0]), number(rest[1]))
        elif key in ("program", "page", "banks", "bank-size", "reset", "interrupt",
                     "calibration"):
            part[key] = number(rest[0])
        else:
            part[key] = rest
    return parts


def read_hex(path):
    """{word address: word} of an INHX32 file (little-endian byte pairs)."""
    data = {}
    upper = 0
    for line in open(path):
        line = line.strip()
        if not line.startswith(":"):
            continue
        record = bytes.fromhex(line[1:])
        count, address, kind = record[0], (record[1] << 8) | record[2], record[3]
        if kind == 4:
            upper = (record[4] << 8) | record[5]
        elif kind == 0:
            for i in range(count):
                data[(upper << 16) + address + i] = record[4 + i]
    words = {}
    for address, byte in data.items():
        word = address >> 1
        words[word] = words.get(word, 0xFFFF) & ~(0xFF << (8 * (address & 1))) | (
            byte << (8 * (address & 1)))
    return words
