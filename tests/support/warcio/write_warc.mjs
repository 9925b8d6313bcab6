// Writes a web archive with warcio, for the archive reader's tests: fetches
// each URL over plain HTTP (the raw response: headers as sent, body still
// content-encoded) and records it as a response record, after a warcinfo
// record; with --revisit, a revisit record of the first URL follows.
//
//   node write_warc.mjs OUT.warc[.gz] WARC/1.0|WARC/1.1 gzip|plain [--revisit] URL...
import fs from "node:fs";
import http from "node:http";
import { WARCRecord, WARCSerializer } from "warcio";

const [out, warcVersion, compression, ...rest] = process.argv.slice(2);
const revisit = rest[0] === "--revisit";
const urls = revisit ? rest.slice(1) : rest;
const gzip = compression === "gzip";

function fetchRaw(url) {
  return new Promise((resolve, reject) => {
    http
      .get(url, { headers: { "Accept-Encoding": "gzip" } }, (res) => {
        const chunks = [];
        res.on("data", (c) => chunks.push(c));
        res.on("end", () => resolve({ res, body: Buffer.concat(chunks) }));
        res.on("error", reject);
      })
      .on("error", reject);
  });
}

const parts = [];
const warcinfo = await WARCRecord.createWARCInfo({ filename: out, warcVersion }, { software: "warcio.js test writer" });
parts.push(await WARCSerializer.serialize(warcinfo, { gzip }));
const date = "2024-05-06T07:08:09Z";
for (const url of urls) {
  const { res, body } = await fetchRaw(url);
  const httpHeaders = [];
  for (let i = 0; i < res.rawHeaders.length; i += 2) httpHeaders.push([res.rawHeaders[i], res.rawHeaders[i + 1]]);
  async function* content() {
    yield new Uint8Array(body);
  }
  const record = await WARCRecord.create(
    { url, date, type: "response", warcVersion, keepHeadersCase: true, httpHeaders,
      statusline: `HTTP/1.1 ${res.statusCode} ${res.statusMessage}` },
    content(),
  );
  parts.push(await WARCSerializer.serialize(record, { gzip }));
}
if (revisit && urls.length > 0) {
  const record = await WARCRecord.create(
    { url: urls[0], date, type: "revisit", warcVersion, refersToUrl: urls[0], refersToDate: date,
      httpHeaders: { "Content-Type": "text/html" }, statusline: "HTTP/1.1 200 OK" },
    (async function* () {})(),
  );
  parts.push(await WARCSerializer.serialize(record, { gzip }));
}
fs.writeFileSync(out, Buffer.concat(parts.map((p) => Buffer.from(p))));
