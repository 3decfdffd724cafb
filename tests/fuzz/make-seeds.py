#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) from the test data
and the shipped settings, plus a few hand-made replies, archives and pictures. Run it again
after changing what a target reads; the output is committed."""
import io
import os
import shutil
import struct
import zipfile
import zlib

here = os.path.dirname(os.path.abspath(__file__))
top = os.path.dirname(os.path.dirname(here))
corpus = os.path.join(here, "corpus")


def write(target, name, data):
    folder = os.path.join(corpus, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def read(*parts):
    with open(os.path.join(top, *parts), "rb") as f:
        return f.read()


shutil.rmtree(corpus, ignore_errors=True)

# Settings: the shipped copies and the test data, as JSON and as the user's files.
settings = {
    "custom_shipped": read("resources", "app", "Custom config.json"),
    "presets_shipped": read("resources", "app", "Presets.json"),
    "config_shipped": read("resources", "app", "Config.json"),
}
for name in os.listdir(os.path.join(top, "tests", "data", "config")):
    settings[name[:-5]] = read("tests", "data", "config", name)
for name, data in settings.items():
    write("fuzz_lenient_json", name, data)
for name, data in settings.items():
    kind = 1 if name.startswith("presets") else 0
    write("fuzz_settings_files", name, bytes([kind]) + data)
write("fuzz_settings_files", "setting_file", b"\x02" + b'{"isStaging": true, "isTest": false}')
write("fuzz_settings_files", "presets_truncated", b"\x01" + b'[{"name": "Mine", "ev_val')
write("fuzz_lenient_json", "numbers",
      b'{"i": 2, "f": 2.0, "big": 18446744073709551615, "neg": -9223372036854775808,'
      b' "frac": 2.5, "e": 1e300, "s": "\\u00e9\\ud83d\\ude00", "l": ["a", 1, null]}')

# Cloud answers.
check = (b'{"success": true, "errors": [], "data": {"hasNewVersion": true, "version": "2.1.0",'
         b' "hasNewFwVersion": false, "fwVersion": "1.0.7", "advertisement": {"description":'
         b' "Spring", "uri": "ads/spring.PNG", "targetUrl": "https://example.com/ad",'
         b' "entryType": 1}}}')
company = (b'{"success": true, "errors": ["e1"], "data": {"aboutUrl": "a", "kestovaUrl": "k",'
           b' "name": "n", "no": "1", "vendor": ["v"], "product": ["p"], "redirectUrl": "r",'
           b' "downloadUrl": "d", "contactUrl": "c", "docUrl": "doc", "stagingDownloadUrl": "sd",'
           b' "stagingContactUrl": "sc", "stagingDocUrl": "sdoc", "isActive": true, "_id": "x1",'
           b' "updateTime": "2024-03-01T10:00:00.000Z", "createTime": "yesterday", "vender": ["w"],'
           b' "__v": 3, "notification": {"_id": "n1", "content": "hello", "date": "2024/13/45"}}}')
write("fuzz_cloud_records", "check", check)
write("fuzz_cloud_records", "company", company)
write("fuzz_cloud_records", "message", b'{"message": "No such company"}')
write("fuzz_cloud_records", "notification",
      b'{"success": true, "errors": [], "data": {"_id": "n1", "content": "c", "date": "d"}}')


# Pictures: a plain PNG and a two-frame animation.
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def rows(width, height, rgba):
    return zlib.compress(b"".join(b"\x00" + bytes(rgba) * width for _ in range(height)))


def ihdr(width, height):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))


def fctl(sequence, width, height, x, y, dispose=0, blend=0):
    return chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, width, height, x, y, 10, 100,
                                      dispose, blend))


sig = b"\x89PNG\r\n\x1a\n"
write("fuzz_apng", "plain.png", sig + ihdr(4, 3) + chunk(b"IDAT", rows(4, 3, [255, 0, 0, 255]))
      + chunk(b"IEND", b""))
write("fuzz_apng", "animated.png",
      sig + ihdr(4, 4) + chunk(b"acTL", struct.pack(">II", 2, 0)) + fctl(0, 4, 4, 0, 0)
      + chunk(b"IDAT", rows(4, 4, [255, 0, 0, 255])) + fctl(1, 2, 2, 1, 1, 1, 1)
      + chunk(b"fdAT", struct.pack(">I", 2) + rows(2, 2, [0, 0, 255, 128])) + chunk(b"IEND", b""))
write("fuzz_apng", "zero_frames.png",
      sig + ihdr(2, 2) + chunk(b"acTL", struct.pack(">II", 0, 1)) + fctl(0, 2, 2, 0, 0)
      + chunk(b"IDAT", rows(2, 2, [0, 255, 0, 255])) + chunk(b"IEND", b""))


# Update packages.
def archive(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name), data)
    return out.getvalue()


write("fuzz_update_package", "package", archive([("fw_file/", b""), ("fw_file/update.img", b"img"),
                                                 ("FW version.txt", b"1.2.5")]))
write("fuzz_update_package", "dot", archive([("a.bin", b"a"), (".", b"x")]))
write("fuzz_update_package", "climb", archive([("fw/../../a", b"a")]))
write("fuzz_update_package", "nested", archive([("a/b/c/d.txt", b"d"), ("a/b/", b"")]))

# Camera replies: each request takes a choice byte then its reply bytes (see FuzzedUsbTransport).
def replies(*blocks):
    return b"".join(bytes([2]) + block for block in blocks)


info = b"1.2.0".ljust(64, b"\x00")
write("fuzz_camera_usb_blocks", "info", replies(info, b"\x00\x0f\x38\x04\x68\x01\x78\x00" * 8,
                                                 struct.pack("<hhhh", 0, -64, 64, 0) * 4))
write("fuzz_camera_usb_blocks", "command", replies(b"0x1a2b3c4d\n".ljust(61, b"\x00")) * 3)
write("fuzz_camera_usb_blocks", "short", bytes([0x31]) + b"abc" + bytes([0]) * 4)
write("fuzz_updater_usb_replies", "safe_mode", replies(b"0\n".ljust(61, b"\x00")) * 4)
write("fuzz_updater_usb_replies", "progress", b"4,40\n")
write("fuzz_updater_usb_replies", "progress_done", replies(b"5 100".ljust(61, b"\x00")) * 4)

# Audio device replies: a waiting-command choice byte, then the report.
for i, text in enumerate([b"QD4718", b"1.0.3", b"2024-01-01", b"0", b"1", b"update_ok"]):
    write("fuzz_hid_replies", "reply%d" % i, bytes([i]) + b"\x3f" + bytes([len(text)]) + text
          + b"\x00" * (62 - len(text)))

# Link messages: type, payload length, payload (host order: little-endian here).
def link(kind, payload=b""):
    return struct.pack("<II", kind, len(payload)) + payload


write("fuzz_link_messages", "streaming", link(3, struct.pack("<I", 1)))
write("fuzz_link_messages", "stopped", link(3, struct.pack("<I", 0)))
write("fuzz_link_messages", "resolution", link(4, struct.pack("<ii", 1920, 1080)))
write("fuzz_link_messages", "frame", link(2, struct.pack("<iiIIIIQQQ", 64, 32, 0x42475241, 1,
                                                         256, 0, 0, 0, 256 * 32)))
write("fuzz_link_messages", "register", link(1))
write("fuzz_link_messages", "empty", b"")

# The face store: the tests' store, and records naming files that are not face pictures.
store = b"""{"persons": [{"person_id": 1, "thumbnail_face_id": 10, "name": "Ada"},
 {"person_id": 2, "thumbnail_face_id": 12, "name": ""}],
 "faces": [{"face_id": 10, "person_id": 1, "width": 112, "height": 112, "image": "faces/0.png"},
 {"face_id": 11, "person_id": 1, "image": "faces/1.png"},
 {"face_id": 12, "person_id": 2, "image": "faces/2.png"}]}"""
write("fuzz_face_store", "store", store)
write("fuzz_face_store", "hostile", b"""{"persons": [{"person_id": 1, "name": ""}],
 "faces": [{"face_id": 1, "person_id": 1, "image": "persons.json"},
 {"face_id": 2, "person_id": 1, "image": "notes.txt"},
 {"face_id": 3, "person_id": 1, "image": "faces/readme.txt"}]}""")
