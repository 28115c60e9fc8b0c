#!/usr/bin/env python3
"""Writes the seed corpora of the UVC descriptor and command-line fuzzers.

fuzz/corpus/uvc_topology_fuzz: the `descriptors` files of whole USB video devices as sysfs gives
them (device descriptor, then the configurations with every interface and endpoint): the
camera, a webcam with a microphone, a device with two video functions, a UVC 1.5 camera, a
device with two configurations, firmware with another vendor's extension unit first, and a
file cut short.

fuzz/corpus/command_line_fuzz: command lines the library builds, Windows command lines with
quotes and backslashes, and lists of arguments separated by NUL bytes.
"""
import pathlib
import struct
import uuid

HERE = pathlib.Path(__file__).resolve().parent

CAMERA_UNIT_1 = uuid.UUID("ACB6890C-A3B3-4060-8B9A-DF34EEF39A2E")
CAMERA_UNIT_2 = uuid.UUID("F4098694-133A-A14E-B4A0-63D279BF3074")
# Extension units of other makers' firmware: codes of no particular product.
OTHER_UNITS = [uuid.UUID("2C49D16A-32B8-4485-3EA8-643A152362F2"),
               uuid.UUID("8E1A7B20-5C3D-4F6E-9A0B-1C2D3E4F5061"),
               uuid.UUID("D5C0A3B1-7E92-4B18-A6F4-0E9D8C7B6A59")]


def descriptor(kind, body):
    return bytes([2 + len(body), kind]) + bytes(body)


def cs_interface(subtype, body):
    return descriptor(0x24, [subtype] + list(body))


def le16(value):
    return list(struct.pack("<H", value))


def le32(value):
    return list(struct.pack("<I", value))


def device(vendor, product):
    return descriptor(0x01, le16(0x0200) + [0xEF, 0x02, 0x01, 64] + le16(vendor) + le16(product) +
                      le16(0x0100) + [1, 2, 3, 1])


def configuration(value, interfaces, body):
    head = descriptor(0x02, le16(0) + [interfaces, value, 0, 0x80, 250])
    total = len(head) + len(body)
    return head[:2] + bytes(le16(total)) + head[4:] + body


def interface(number, alternate, endpoints, cls, subclass):
    return descriptor(0x04, [number, alternate, endpoints, cls, subclass, 0, 0])


def endpoint(address, attributes, size, interval):
    return descriptor(0x05, [address, attributes] + le16(size) + [interval])


def camera_terminal(unit):
    return cs_interface(0x02, [unit] + le16(0x0201) + [0, 0] + le16(0) * 3 + [3, 0x0A, 0, 0])


def processing_unit(unit, source):
    return cs_interface(0x05, [unit, source] + le16(0) + [2] + le16(0x177F) + [0])


def selector_unit(unit, sources):
    return cs_interface(0x04, [unit, len(sources)] + list(sources) + [0])


def encoding_unit(unit, source):
    return cs_interface(0x07, [unit, source, 0, 3, 0xFF, 0xFF, 0x03, 3, 0xFF, 0xFF, 0x03])


def extension_unit(unit, code, source, controls):
    bitmap = (1 << controls) - 1
    return cs_interface(0x06, [unit] + list(code.bytes_le) + [controls, 1, source, 4] +
                        le32(bitmap) + [0])


def output_terminal(unit, kind, source):
    return cs_interface(0x03, [unit] + le16(kind) + [0, source, 0])


def streaming_formats():
    frame_interval = 333333
    def frame(subtype, width, height, size):
        return cs_interface(subtype, [1, 0] + le16(width) + le16(height) + le32(size * 40) +
                            le32(size * 240) + le32(size) + le32(frame_interval) + [1] +
                            le32(frame_interval))
    yuy2 = uuid.UUID("32595559-0000-0010-8000-00AA00389B71")
    formats = cs_interface(0x04, [2, 1] + list(yuy2.bytes_le) + [16, 1, 0, 0, 0, 0])
    formats += frame(0x05, 640, 480, 640 * 480 * 2)
    formats += cs_interface(0x06, [1, 1, 0x01, 1, 0, 0, 0, 0])
    formats += frame(0x07, 1280, 720, 1280 * 720 * 2)
    formats += cs_interface(0x0D, [1, 1, 4])
    return formats


def video_function(entities, first, uvc=0x0100):
    streaming = first + 1
    units = b"".join(entities)
    header = cs_interface(0x01, le16(uvc) + le16(0) + le32(6000000) + [1, streaming])
    header = header[:5] + bytes(le16(len(header) + len(units))) + header[7:]
    body = descriptor(0x0B, [first, 2, 0x0E, 0x03, 0, 2])
    body += interface(first, 0, 1, 0x0E, 0x01) + header + units
    body += endpoint(0x80 | (first + 2), 0x03, 16, 6) + descriptor(0x25, [0x03] + le16(16))
    formats = streaming_formats()
    input_header = cs_interface(0x01, [2, 0, 0, 0x80 | streaming, 0, 5, 0, 0, 0, 1, 0, 0])
    input_header = input_header[:4] + bytes(le16(len(input_header) + len(formats))) + \
        input_header[6:]
    body += interface(streaming, 0, 0, 0x0E, 0x02) + input_header + formats
    body += interface(streaming, 1, 1, 0x0E, 0x02) + endpoint(0x80 | streaming, 0x05, 0x1400, 1)
    return body


def audio_function(first):
    """A microphone: its class-specific descriptors reuse the subtypes of video units."""
    body = descriptor(0x0B, [first, 2, 0x01, 0x01, 0, 0])
    body += interface(first, 0, 0, 0x01, 0x01)
    body += cs_interface(0x01, le16(0x0100) + le16(38) + [1, first + 1])
    body += cs_interface(0x02, [1] + le16(0x0201) + [0, 1] + le16(0) + [0, 0])
    body += cs_interface(0x06, [2, 1, 1, 0x03, 0x00])  # feature unit, mute and volume
    body += cs_interface(0x03, [3] + le16(0x0101) + [0, 2, 0])
    body += interface(first + 1, 0, 0, 0x01, 0x02)
    body += interface(first + 1, 1, 1, 0x01, 0x02)
    body += cs_interface(0x01, [3, 1] + le16(0x0001))
    body += cs_interface(0x02, [1, 1, 2, 16, 1, 0x80, 0x3E, 0x00])
    body += endpoint(0x84, 0x05, 32, 4) + descriptor(0x25, [0x01, 0, 0] + le16(0))
    return body


def camera_entities(first_unit_code=CAMERA_UNIT_1):
    return [camera_terminal(1), processing_unit(2, 1), extension_unit(4, first_unit_code, 2, 31),
            extension_unit(3, CAMERA_UNIT_2, 4, 8), output_terminal(5, 0x0101, 3)]


def uvc_corpus():
    camera = device(0x1BBD, 0x024C)
    files = {}
    files["camera.bin"] = camera + configuration(1, 2, video_function(camera_entities(), 0))
    # Units chained one after another from the processing unit: 3, 4, 5, 6.
    vendor_units = [extension_unit(4 + i, code, 3 + i, 16) for i, code in enumerate(OTHER_UNITS)]
    webcam = [camera_terminal(1), processing_unit(3, 1)] + vendor_units + \
        [output_terminal(2, 0x0101, 6)]
    files["webcam_with_microphone.bin"] = device(0x2F1A, 0x0C21) + configuration(
        1, 4, video_function(webcam, 0) + audio_function(2))
    plain = [camera_terminal(1), processing_unit(2, 1), output_terminal(3, 0x0101, 2)]
    files["two_video_functions.bin"] = device(0x2F1A, 0x0D40) + configuration(
        1, 4, video_function(plain, 0) + video_function(camera_entities(), 2))
    uvc15 = [camera_terminal(1), processing_unit(2, 1), selector_unit(6, [2, 1]),
             encoding_unit(7, 6), extension_unit(8, OTHER_UNITS[0], 7, 8),
             output_terminal(9, 0x0101, 8), output_terminal(10, 0x0301, 2)]
    files["uvc15_encoding_unit.bin"] = device(0x2F1A, 0x0E15) + configuration(
        1, 2, video_function(uvc15, 0, uvc=0x0150))
    files["two_configurations.bin"] = camera + configuration(
        1, 2, video_function(plain, 0)) + configuration(2, 2, video_function(camera_entities(), 0))
    foreign_first = [camera_terminal(1), processing_unit(2, 1),
                     extension_unit(7, OTHER_UNITS[1], 2, 4)] + camera_entities()[2:]
    files["foreign_unit_first.bin"] = camera + configuration(
        1, 2, video_function(foreign_first, 0))
    whole = files["camera.bin"]
    cut = whole.find(CAMERA_UNIT_2.bytes_le) + 7
    files["cut_short.bin"] = whole[:cut]
    return files


def command_line_corpus():
    upgrader = r"C:\Program Files\Optiqon\bin\optiqon_upgrade.exe"
    return {
        "serial_number.txt": f'"{upgrader}" -s',
        "firmware.txt": f'"{upgrader}" "D:\\Firmware\\K3M51 2.3.img"',
        "posix.txt": "/usr/local/bin/optiqon_upgrade /home/user/fw.img",
        "escapes.txt": 'up a\\"b "c d\\\\" "" e\\\\\\\\"f g"  h\ti',
        "doubled_quotes.txt": 'up "say ""hi""" x""y',
        "list_paths.bin": "optiqon_upgrade\0C:\\fw dir\\\0say \"hi\"\0\0tab\there",
        "list_backslashes.bin": "a\\\\b\0\"\0\\\"\0 \0\\\\\0\\\"\\",
    }


def main():
    for name, files in (("uvc_topology_fuzz", uvc_corpus()),
                        ("command_line_fuzz", command_line_corpus())):
        folder = HERE / "corpus" / name
        folder.mkdir(parents=True, exist_ok=True)
        for file, content in files.items():
            data = content.encode() if isinstance(content, str) else content
            (folder / file).write_bytes(data)


if __name__ == "__main__":
    main()
