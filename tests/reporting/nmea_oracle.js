#!/usr/bin/env node
// Second parser for the GPS tests: runs nmea-simple over NMEA files and
// prints one JSON object per sentence line:
//   {"file": i, "line": n, "ok": bool, "id": "RMC", "talker": "GP",
//    "valid": bool, "lat": deg, "lon": deg}
// "ok" is false when nmea-simple refuses the line (bad checksum, unknown
// sentence); "valid" is its own reading of the status or fix quality.
// Usage: node nmea_oracle.js FILE...   (NODE_PATH names the tool folder)
"use strict";

const fs = require("fs");
const nmea = require("nmea-simple");

function validOf(p) {
    switch (p.sentenceId) {
    case "RMC": return p.status === "valid";
    case "GLL": return p.status === "valid";
    case "GGA": return p.fixType !== "none";
    default: return false;
    }
}

const files = process.argv.slice(2);
files.forEach((path, fileIndex) => {
    const lines = fs.readFileSync(path, "latin1").split("\n");
    lines.forEach((raw, i) => {
        const line = raw.trim();
        if (!line.startsWith("$"))
            return;
        const out = { file: fileIndex, line: i + 1, ok: false };
        try {
            const p = nmea.parseNmeaSentence(line);
            out.ok = true;
            out.id = p.sentenceId;
            out.talker = p.talkerId;
            out.valid = validOf(p);
            if (typeof p.latitude === "number" && typeof p.longitude === "number") {
                out.lat = p.latitude;
                out.lon = p.longitude;
            }
        } catch (e) {
            out.error = String(e.message || e);
        }
        process.stdout.write(JSON.stringify(out) + "\n");
    });
});
