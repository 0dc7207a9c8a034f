#!/usr/bin/env python3
"""Summary of a demo run: what the daemon sent to the data service and the bus."""
import collections
import json
import sys
from pathlib import Path

out = Path(sys.argv[1])

calls = collections.Counter()
for line in (out / "calls.log").read_text().splitlines():
    fields = line.split(" ")
    if len(fields) >= 6:
        calls[fields[2]] += 1

signals = collections.Counter()
signals_path = out / "signals.jsonl"
if signals_path.exists():
    for line in signals_path.read_text().splitlines():
        try:
            signals[json.loads(line)["member"]] += 1
        except (ValueError, KeyError):
            pass

log = (out / "gps.log").read_text(errors="replace")
complete_fixes = log.count("SaveGPSData eTrackingStatus")

# Tracking mode in force when each point was stored, read from the daemon's
# decision lines ("SaveGPSData eTrackingStatus  3 ...") just before each upload.
modes = {"2": "by time", "3": "by distance", "4": "by speed level"}
per_mode = collections.Counter()
mode = None
for line in log.splitlines():
    if "SaveGPSData eTrackingStatus" in line:
        mode = line.split("eTrackingStatus")[1].split()[0]
    elif "Send GPS data to Logbook" in line and mode is not None:
        per_mode[modes.get(mode, "mode " + mode)] += 1

entries = json.loads((out / "logbook.json").read_text() or "[]")
events = collections.Counter(e["subtypeName"] for e in entries if e["table"] == "gps")
points = [e for e in entries if e["table"] == "tracking"]

print(f"   complete fixes handled:   {complete_fixes}")
print(f"   runtime GPS published:    {calls['setRuntimeGps']} (only on change), "
      f"sigActualGpsData seen: {signals['sigActualGpsData']}")
print(f"   track points stored:      {len(points)}  "
      + ", ".join(f"{k}: {v}" for k, v in sorted(per_mode.items())))
print(f"   transfer triggers:        {calls['setRuntimeTriggerFtpTransfer']}")
print(f"   logbook events:           " + (", ".join(f"{k} {v}" for k, v in sorted(events.items())) or "none"))
print(f"   clock sync requests:      {signals['sigSyncTime']} (sigSyncTime)")
print(f"   heartbeats seen:          {signals['sigTrigger']}")
if points:
    first, last = points[0].get("point", {}), points[-1].get("point", {})
    print(f"   first point:              {first.get('lat', 0):.6f} {first.get('lon', 0):.6f} at {first.get('time')}")
    print(f"   last point:               {last.get('lat', 0):.6f} {last.get('lon', 0):.6f} at {last.get('time')}")
