#!/usr/bin/env python3
"""Plans a command through the remote control of QXWebServer, waits for the
next record of one device and checks the answer it got. Standard library only.

    QX_ADMIN=http://127.0.0.1:8081 QX_ADMIN_TOKEN=secret python3 admin_example.py 127.0.0.2
"""
import json
import os
import sys
import urllib.request

ADMIN = os.environ.get("QX_ADMIN", "http://127.0.0.1:8081")
TOKEN = os.environ["QX_ADMIN_TOKEN"]


def call(method, path, body=None, timeout=10):
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(ADMIN + path, data=data, method=method,
                                     headers={"Authorization": "Bearer " + TOKEN})
    with urllib.request.urlopen(request, timeout=timeout) as reply:
        return json.load(reply)


def main(device):
    # Every answer from now on carries the server time below.
    call("PUT", "/admin/plan", [{"active": "X", "command": "qx_time",
                                 "parameters": ["2024-05-01T12:00:01"]}])
    last = call("GET", "/admin/status")["requests"]
    # Long poll: returns as soon as the device sent a record, or [] after 30 s.
    records = call("GET", f"/admin/records?after={last}&peer={device}&wait=30000&limit=1",
                   timeout=40)
    assert records, f"no record of {device} within 30 s"
    record = records[0]
    assert record["status"] == 200, record
    assert "time=2024-05-01_12:00:01" in record["answer"], record["answer"]
    print(f"#{record['id']} {record['request']} -> {record['answer']}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1")
