// Plays movies in a real player: Ruffle (the npm build, served from here) inside Debian's
// Chromium, driven headless by playwright-core. Samples the colour at the middle of the stage
// every 100 ms for 6 s and prints each colour with the time it appeared, so a movie of solid
// red, green and blue frames shows how often it plays. A check by hand, not a CTest test:
//
//   cd bench/ruffle && npm install && node play.mjs MOVIE.swf...
//
// With --rate it prints instead how many times a second the whole stage changed over 6 s:
// for a movie whose every frame differs, the frame rate Ruffle keeps up.
import http from "http";
import fs from "fs";
import path from "path";
import { chromium } from "playwright-core";
const root = path.dirname(new URL(import.meta.url).pathname);
const server = http.createServer((req, res) => {
  // /movie/PATH serves the movie at that absolute path; the rest comes from this folder.
  const url = decodeURIComponent(req.url.split("?")[0]);
  const file = url.startsWith("/movie/") ? url.slice(6) : path.join(root, url);
  if (!fs.existsSync(file) || fs.statSync(file).isDirectory()) { res.writeHead(404); res.end(); return; }
  const type = file.endsWith(".wasm") ? "application/wasm" : file.endsWith(".js") ? "text/javascript" : file.endsWith(".html") ? "text/html" : "application/octet-stream";
  res.writeHead(200, { "content-type": type }); fs.createReadStream(file).pipe(res);
}).listen(0);
const port = server.address().port;
fs.writeFileSync(path.join(root, "page.html"), `<!doctype html><html><body style="margin:0">
<script>window.RufflePlayer={config:{autoplay:"on",unmuteOverlay:"hidden",splashScreen:false,preferredRenderer:"canvas",letterbox:"off"}};</script>
<script src="node_modules/@ruffle-rs/ruffle/ruffle.js"></script>
<div id="c"></div>
<script>
const p = window.RufflePlayer.newest().createPlayer(); p.style.width="160px"; p.style.height="120px";
document.getElementById("c").appendChild(p); p.load(new URL(location.hash.slice(1), location.href).href);
window.digest = () => { const cv = p.shadowRoot && p.shadowRoot.querySelector("canvas"); if (!cv) return "none";
  const d = cv.getContext("2d").getImageData(0, 0, cv.width, cv.height).data; let h = 0;
  for (let i = 0; i < d.length; i += 4) h = (h * 31 + d[i] + d[i + 1] * 7 + d[i + 2] * 13) | 0; return String(h); };
window.sample = () => { const cv = p.shadowRoot && p.shadowRoot.querySelector("canvas"); if (!cv) return "none";
  const d = cv.getContext("2d").getImageData(Math.floor(cv.width/2), Math.floor(cv.height/2), 1, 1).data; return d[0]+","+d[1]+","+d[2]; };
</script></body></html>`);
const rate = process.argv.includes("--rate");
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
for (const movie of process.argv.slice(2).filter((a) => a !== "--rate")) {
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${port}/page.html#/movie${path.resolve(movie)}`);
  await page.waitForFunction(() => window.sample() !== "none" && window.sample() !== "0,0,0", null, { timeout: 20000 }).catch(() => {});
  if (rate) {
    let changes = 0, last = await page.evaluate(() => window.digest());
    const begin = Date.now();
    while (Date.now() - begin < 6000) {
      const now = await page.evaluate(() => window.digest());
      if (now !== last) { changes++; last = now; }
      await page.waitForTimeout(5);
    }
    console.log(movie, `${(changes / 6).toFixed(1)} changes a second`);
    await page.close();
    continue;
  }
  const names = { "255,0,0": "R", "0,255,0": "G", "0,0,255": "B" };
  const seen = [];
  const start = Date.now();
  while (Date.now() - start < 6000) {
    const c = await page.evaluate(() => window.sample());
    const n = names[c] ?? `(${c})`;
    if (seen.length === 0 || seen[seen.length - 1][0] !== n) seen.push([n, Date.now() - start]);
    await page.waitForTimeout(100);
  }
  console.log(movie, seen.map(([n, t]) => `${n}@${(t / 1000).toFixed(1)}s`).join(" "));
  await page.close();
}
await browser.close();
server.close();
