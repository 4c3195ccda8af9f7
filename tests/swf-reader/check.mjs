// Reads a movie made by gif2swf with the independent swf-parser package and checks its header
// and tag sequence against what the test expects.
//
//   node check.mjs MOVIE.swf width=W height=H rate=EPSILONS frames=N [bitmaps=N] [plays=N]
//   [layers=N] [scale=PERCENT] [background=0xRRGGBB]
//
// width and height are the pictures' stage in pixels before the scale (default 100 %), which
// the stage and every placement take on; background the stage's colour (default white).
// rate is the 8.8 fixed-point frame rate (256 = 1 frame per second); plays is how often the
// movie plays before it stops (0: for ever), found by running its actions (avm1-parser reads
// them); layers the most objects on the stage at once. Prints "ok" and exits 0, or prints
// every fault found and exits 1.
import fs from "fs";
import { parseSwf, swf } from "swf-parser";
import { Avm1Parser } from "avm1-parser";
import { ActionType } from "avm1-types/action-type";
import { PushValueType } from "avm1-types/push-value-type";
const { TagType } = swf;

const [file, ...pairs] = process.argv.slice(2);
const expect = Object.fromEntries(pairs.map((p) => p.split("=")).map(([k, v]) => [k, Number(v)]));
const faults = [];
const scale = expect.scale ?? 100;
const background = expect.background ?? 0xffffff;
// A length in picture pixels on the scaled stage, to the nearest twip (P/5 twips a pixel).
const scaledTwips = (pixels) => Math.round((pixels * scale) / 5);
const check = (ok, text) => {
  if (!ok) faults.push(text);
};

const bytes = fs.readFileSync(file);
check(bytes.subarray(0, 3).toString("latin1") === "FWS", "signature is not FWS");
check(bytes[3] === 8, `version ${bytes[3]}, expected 8`);
check(bytes.readUInt32LE(4) === bytes.length, `file length field ${bytes.readUInt32LE(4)}, file has ${bytes.length} bytes`);
check(bytes[bytes.length - 2] === 0 && bytes[bytes.length - 1] === 0, "the movie does not end with an End tag");

let movie;
try {
  movie = parseSwf(new Uint8Array(bytes));
} catch (error) {
  console.log(`swf-parser rejects the movie: ${error.message}`);
  process.exit(1);
}
const h = movie.header;
const fs_ = h.frameSize;
check(h.swfVersion === 8, `parsed version ${h.swfVersion}`);
check(fs_.xMin === 0 && fs_.yMin === 0, "stage does not start at 0,0");
check(fs_.xMax === scaledTwips(expect.width) && fs_.yMax === scaledTwips(expect.height),
  `stage ${fs_.xMax}x${fs_.yMax} twips, expected ${expect.width}x${expect.height} pixels at ${scale} %`);
check(h.frameRate.epsilons === expect.rate, `frame rate ${h.frameRate.epsilons}/256, expected ${expect.rate}/256`);
check(h.frameCount === expect.frames, `header frame count ${h.frameCount}, expected ${expect.frames}`);

const tags = movie.tags;
const name = (t) => TagType[t.type] ?? String(t.type);
check(tags.length >= 2 && name(tags[0]) === "FileAttributes", "first tag is not FileAttributes");
const hex = (c) => c.toString(16).padStart(6, "0");
check(tags.length >= 2 && name(tags[1]) === "SetBackgroundColor" &&
  ((tags[1].color.r << 16) | (tags[1].color.g << 8) | tags[1].color.b) === background,
  `second tag is not a SetBackgroundColor of ${hex(background)}`);

// Then bitmaps and the shapes they fill (each a rectangle showing a bitmap, or a part of one
// that holds several pictures, one below the other or side by side); placements (depth 1 holds the whole
// picture, higher depths the changed areas over it, moved by whole pixels), removals, frames.
const bitmaps = new Map();
const shapes = new Set();
let showFrames = 0;
const occupied = new Set();
const frameActions = []; // [frame index, action bytes]
let mostLayers = 0;
for (let i = 2; i < tags.length; i++) {
  const t = tags[i];
  switch (name(t)) {
    case "DefineBitmap":
      check(t.mediaType === "image/x-swf-lossless1" || t.mediaType === "image/x-swf-lossless2",
        `bitmap ${t.id} is ${t.mediaType}`);
      // As wide as the stage, or pictures side by side up to 2880 pixels.
      check(t.width >= 1 && t.height >= 1 && t.width <= Math.max(expect.width, 2880) &&
        t.height <= 8192,
        `bitmap ${t.id} is ${t.width}x${t.height}`);
      check(!bitmaps.has(t.id), `bitmap id ${t.id} defined twice`);
      bitmaps.set(t.id, t);
      break;
    case "DefineShape": {
      const fills = t.shape.initialStyles.fill;
      const bitmap = fills.length === 1 ? bitmaps.get(fills[0].bitmapId) : undefined;
      check(bitmap !== undefined, `shape ${t.id} is not filled with one bitmap defined before it`);
      const f = fills[0];
      check(f.repeating === false && f.smoothed === false, `shape ${t.id}: fill is repeating or smoothed`);
      const top = -f.matrix.translateY;
      const left = -f.matrix.translateX;
      check(f.matrix.scaleX.epsilons === 20 * 65536 && f.matrix.scaleY.epsilons === 20 * 65536 &&
        f.matrix.rotateSkew0.epsilons === 0 && f.matrix.rotateSkew1.epsilons === 0 &&
        left >= 0 && left % 20 === 0 && top >= 0 && top % 20 === 0,
        `shape ${t.id}: bitmap matrix is not a scale of 20 moved up and left by whole pixels`);
      const w = t.bounds.xMax;
      const hh = t.bounds.yMax;
      check(t.bounds.xMin === 0 && t.bounds.yMin === 0 && w > 0 && hh > 0 &&
        left + w <= (bitmap?.width ?? 0) * 20 && top + hh <= (bitmap?.height ?? 0) * 20,
        `shape ${t.id}: bounds reach beyond its bitmap`);
      // The outline: a closed path that visits the rectangle's four corners.
      let x = 0, y = 0, maxX = 0, maxY = 0, minX = 0, minY = 0;
      for (const r of t.shape.records) {
        if (r.type === 1 && r.moveTo) { x = r.moveTo.x; y = r.moveTo.y; }
        if (r.type === 0) {
          check(Math.abs(r.delta.x) <= 65535 && Math.abs(r.delta.y) <= 65535, `shape ${t.id}: edge longer than 65535 twips`);
          x += r.delta.x; y += r.delta.y;
        }
        maxX = Math.max(maxX, x); maxY = Math.max(maxY, y); minX = Math.min(minX, x); minY = Math.min(minY, y);
      }
      check(x === 0 && y === 0 && minX === 0 && minY === 0 && maxX === w && maxY === hh,
        `shape ${t.id}: outline is not the closed ${w}x${hh} rectangle`);
      shapes.add(t.id);
      break;
    }
    case "PlaceObject": {
      check(t.depth >= 1, `placement at depth ${t.depth}`);
      check(shapes.has(t.characterId), `placement of undefined shape ${t.characterId}`);
      check(t.isUpdate === occupied.has(t.depth), `placement at depth ${t.depth}: move flag is ${t.isUpdate}, players would ignore it`);
      const m = t.matrix;
      if (m !== undefined) {
        const fixedScale = Math.round((scale * 65536) / 100);
        check(m.scaleX.epsilons === fixedScale && m.scaleY.epsilons === fixedScale && m.rotateSkew0.epsilons === 0 &&
          m.rotateSkew1.epsilons === 0, `placement at depth ${t.depth} is not scaled ${scale} % alone`);
        const onPixel = (twips) => scaledTwips(Math.round((twips * 5) / scale)) === twips;
        check(onPixel(m.translateX) && onPixel(m.translateY) && m.translateX >= 0 && m.translateY >= 0 &&
          m.translateX < scaledTwips(expect.width) && m.translateY < scaledTwips(expect.height),
          `placement at depth ${t.depth} is not at a pixel of the stage`);
      } else {
        check(scale === 100, `placement at depth ${t.depth} is not scaled`);
      }
      occupied.add(t.depth);
      mostLayers = Math.max(mostLayers, occupied.size);
      break;
    }
    case "RemoveObject":
      check(occupied.has(t.depth), `removal of empty depth ${t.depth}`);
      occupied.delete(t.depth);
      break;
    case "DoAction":
      frameActions.push([showFrames, t.actions]);
      break;
    case "ShowFrame":
      check(occupied.has(1), "a frame shows without a picture at depth 1");
      showFrames++;
      break;
    default:
      check(false, `unexpected tag ${name(t)}`);
  }
}
check(showFrames === expect.frames, `${showFrames} ShowFrame tags, expected ${expect.frames}`);
if (expect.bitmaps !== undefined) {
  // Pictures defined: bitmaps, or parts of one that several share.
  check(shapes.size === expect.bitmaps, `${shapes.size} pictures defined, expected ${expect.bitmaps}`);
}
if (expect.layers !== undefined) {
  check(mostLayers <= expect.layers, `${mostLayers} objects on the stage at once, expected at most ${expect.layers}`);
}

// Runs the movie's actions as a player would, frame after frame, for up to 10 plays: the
// number of plays before a stop, 0 when it plays on.
function countPlays() {
  const variables = new Map();
  for (let play = 1; play <= 10; play++) {
    for (let frame = 0; frame < showFrames; frame++) {
      for (const [at, bytes] of frameActions) {
        if (at === frame && runActions(bytes, variables)) {
          check(frame === showFrames - 1, `the movie stops on frame ${frame + 1} of ${showFrames}`);
          return play;
        }
      }
    }
  }
  return 0;
}

// The actions that counting plays needs; true when they stop the movie.
function runActions(bytes, variables) {
  const parser = new Avm1Parser(bytes);
  const stack = [];
  let offset = 0;
  for (let steps = 0; steps < 1000; steps++) {
    const action = parser.readAt(offset);
    offset = parser.getBytePos();
    switch (action.action) {
      case ActionType.End:
        return false;
      case ActionType.Stop:
        return true;
      case ActionType.Push:
        for (const v of action.values) {
          check(v.type === PushValueType.String || v.type === PushValueType.Sint32, `push of value type ${v.type}`);
          stack.push(v.value);
        }
        break;
      case ActionType.GetVariable:
        stack.push(variables.get(stack.pop()));
        break;
      case ActionType.SetVariable: {
        const value = stack.pop();
        variables.set(stack.pop(), value);
        break;
      }
      case ActionType.Decrement:
        stack.push(Number(stack.pop()) - 1); // undefined becomes NaN, as in players
        break;
      case ActionType.If:
        if (Boolean(stack.pop())) offset += action.offset; // NaN and undefined are false
        break;
      default:
        check(false, `unexpected action ${ActionType[action.action]}`);
        return false;
    }
  }
  check(false, "actions do not end");
  return false;
}
const plays = countPlays();
if (expect.plays !== undefined) {
  check(plays === expect.plays, `the movie plays ${plays === 0 ? "for ever" : plays + " times"}, expected ${expect.plays === 0 ? "for ever" : expect.plays + " times"}`);
}
if (faults.length > 0) {
  console.log(faults.join("\n"));
  process.exit(1);
}
console.log("ok");
