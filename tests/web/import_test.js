// The page's import of other formats held to the desktop's: the worker's objects field by field
// against what corvath-convert writes as mesh text, and the placed frame byte for byte against
// corvath-render. The files are made at test time by corvath-convert (from the sample, random
// meshes and the real-world files of other programs) or written here where a writer cannot make
// them (node transforms, a node with several meshes, polygons, lines).
// Run by scripts/web --test (ctest in build-web): CORVATH_BUILD names the native build,
// CORVATH_WEB the web build (its npm assimpjs), CORVATH_IMPORT_FRAMES the module of
// import_frames.cpp.
'use strict';

const assert = require('node:assert');
const {execFileSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {before, describe, test} = require('node:test');

const {importObjects} = require('../../web/import_worker.js');

const build = process.env.CORVATH_BUILD;
const web = process.env.CORVATH_WEB;
const shared = process.env.CORVATH_SHARED;
const convert = path.join(build, 'corvath-convert');
const render = path.join(build, 'corvath-render');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'corvath-web-'));
let assimp;
let viewer;

before(async () => {
  assimp = await require(path.join(web, 'node_modules/assimpjs'))();
  // This emscripten fetches its .wasm by URL, which node cannot: the bytes are handed over.
  const frames = process.env.CORVATH_IMPORT_FRAMES;
  viewer = await require(frames)({wasmBinary: fs.readFileSync(frames.replace(/\.js$/, '.wasm'))});
});

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

function inFolder(name) {
  return path.join(folder, name);
}

function converted(input, output) {
  execFileSync(convert, [input, inFolder(output)], {stdio: 'pipe'});
  return inFolder(output);
}

// Mesh text as corvath-convert writes it: its shortest numbers read back exactly.
function meshTextObjects(text) {
  const objects = [];
  for (const line of text.split('\n')) {
    let m;
    if ((m = /^Named Object: "(.*)"$/.exec(line))) {
      objects.push({name: m[1], positions: [], corners: [], colours: []});
    } else if ((m = /^Vertex \d+: {2}X: (\S+) {2}Y: (\S+) {2}Z: (\S+)$/.exec(line))) {
      objects.at(-1).positions.push(Number(m[1]), Number(m[2]), Number(m[3]));
    } else if ((m = /^Face \d+: {4}A:(\d+) B:(\d+) C:(\d+)(?: colore: (\d+))?$/.exec(line))) {
      objects.at(-1).corners.push(Number(m[1]), Number(m[2]), Number(m[3]));
      objects.at(-1).colours.push(m[4] === undefined ? -1 : Number(m[4]));
    }
  }
  return objects;
}

function webObjects(files) {
  return importObjects(assimp, files.map((file) => ({name: path.basename(file),
    bytes: fs.readFileSync(file)})));
}

function plain(objects) {
  return objects.map((o) => ({name: o.name, positions: Array.from(o.positions),
    corners: Array.from(o.corners), colours: Array.from(o.colours)}));
}

// Hands objects to the viewer as the page does, as the model at `name`.
function handObjects(name, objects) {
  viewer._corvathWebImportBegin();
  const copy = (array) => {
    const at = viewer._malloc(Math.max(array.byteLength, 1));
    viewer.HEAPU8.set(new Uint8Array(array.buffer, array.byteOffset, array.byteLength), at);
    return at;
  };
  for (const object of objects) {
    const held = [object.positions, object.corners, object.colours].map(copy);
    assert.ok(viewer.ccall('corvathWebImportObject', 'number',
      ['string', 'number', 'number', 'number', 'number', 'number'],
      [object.name, held[0], object.positions.length / 3, held[1], held[2], object.colours.length]));
    held.forEach((at) => viewer._free(at));
  }
  viewer.ccall('corvathWebImportEnd', null, ['string'], [name]);
}

// The frame the page draws of the files, as BMP bytes.
function webFrame(files, size, angles, seed) {
  const name = path.basename(files[0]);
  handObjects(name, webObjects(files));
  assert.ok(viewer.ccall('corvathTestOpen', 'number', ['string', 'number', 'number', 'number'],
    [name, ...size, seed]), viewer.UTF8ToString(viewer._corvathTestError()));
  const sizeAt = viewer._malloc(4);
  const at = viewer._corvathTestFrame(...angles, sizeAt);
  const bytes = Buffer.from(viewer.HEAPU8.slice(at, at + viewer.HEAPU32[sizeAt >> 2]));
  viewer._free(sizeAt);
  return bytes;
}

function nativeFrame(file, size, angles, seed) {
  const out = inFolder('native.bmp');
  execFileSync(render, ['--mesh', file, '--size', size.join('x'), '--angles', angles.join(','),
    '--seed', String(seed), '--out', out], {stdio: 'pipe'});
  return fs.readFileSync(out);
}

// A mesh of random size, place and colours, as mesh text: coordinates of every magnitude, some
// faces without a colour, some vertices shared.
function randomMeshText(seed) {
  let state = seed;
  const next = () => (state = (state * 1103515245 + 12345) % 2147483648) / 2147483648;
  const vertices = 3 + Math.floor(next() * 300);
  const scale = 10 ** Math.floor(next() * 12 - 6);
  let text = 'Named Object: "random"\nTri-mesh, Vertices: ' + vertices + ' Faces: ' + vertices + '\n';
  for (let v = 0; v < vertices; ++v) {
    text += `Vertex ${v}: X: ${(next() - 0.3) * scale} Y: ${next() * scale} Z: ${-next() * scale}\n`;
  }
  for (let f = 0; f < vertices; ++f) {
    const corner = () => Math.floor(next() * vertices);
    const colour = next() < 0.2 ? '' : ` colore: ${Math.floor(next() * 16777216)}`;
    text += `Face ${f}: A:${corner()} B:${corner()} C:${corner()}${colour}\n`;
  }
  return text;
}

// A glTF of nested matrices, a mirror, parts given as translation, rotation and scale, a mesh
// shown by two nodes, a mesh of two primitives and corner colours; its buffer inside.
function nodeTreeGltf() {
  const binary = Buffer.concat([
    new Float32Array([0, 0, 0, 1.1, 0, 0, 0, 1.3, 0.2, 0.7, 0.7, 0.1]),
    new Float32Array([1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 0.5, 0.25, 0.125, 1]),
    new Uint32Array([0, 1, 2, 1, 3, 2]), new Uint32Array([0, 2, 1])].map((a) => Buffer.from(a.buffer)));
  const view = (byteOffset, byteLength) => ({buffer: 0, byteOffset, byteLength});
  const accessor = (bufferView, componentType, count, type) => ({bufferView, componentType, count,
    type});
  return JSON.stringify({
    asset: {version: '2.0'}, scene: 0, scenes: [{nodes: [0]}],
    nodes: [
      {name: 'root', children: [1, 2, 3], matrix: [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]},
      {name: 'a', mesh: 0, matrix: [0.8, 0.1, 0, 0, -0.1, 0.8, 0, 0, 0, 0, 1.7, 0, 3.3, -2.1, 0.5, 1]},
      {name: 'b', mesh: 0, children: [4], translation: [1e3, 0.1, -7]},
      {name: 'c', mesh: 1, rotation: [0.1, 0.2, 0.3, 0.9273618495495703], scale: [2, 3, 0.5]},
      {name: 'd', mesh: 1},
    ],
    meshes: [
      {name: 'coloured', primitives: [{attributes: {POSITION: 0, COLOR_0: 1}, indices: 2}]},
      {name: 'two', primitives: [{attributes: {POSITION: 0}, indices: 2, material: 0},
        {attributes: {POSITION: 0}, indices: 3, material: 1}]},
    ],
    materials: [{name: 'rosso', pbrMetallicRoughness: {baseColorFactor: [0.9, 0.1, 0.33, 1]}},
      {name: 'verde', pbrMetallicRoughness: {baseColorFactor: [0.1, 0.7, 0.5019608, 1]}}],
    buffers: [{byteLength: binary.length,
      uri: 'data:application/octet-stream;base64,' + binary.toString('base64')}],
    bufferViews: [view(0, 48), view(48, 64), view(112, 24), view(136, 12)],
    accessors: [{...accessor(0, 5126, 4, 'VEC3'), min: [0, 0, 0], max: [1.1, 1.3, 0.2]},
      accessor(1, 5126, 4, 'VEC4'), accessor(2, 5125, 6, 'SCALAR'), accessor(3, 5125, 3, 'SCALAR')],
  });
}

// OBJ groups and materials, a quad, a pentagon, a line and a point:
//   first (red quad, blue triangle, line, point), second (pentagon and a triangle), third.
const kGroupsObj = `mtllib groups.mtl
o first
v 0 0 0
v 1 0 0
v 1 1 0
v 0 1 0
v 0.5 1.5 0.25
v 2 2 2
usemtl red
f 1 2 3 4
usemtl blue
f 4 3 5
l 1 6
p 6
g second
usemtl red
f 1 2 5 3 4
f 6 1 2
o third
v -1 -1 -1
v -2 -1 -1
v -1 -2 -1
f 7 8 9
`;
const kGroupsMtl = 'newmtl red\nKd 0.8 0.1 0.05\nnewmtl blue\nKd 0.2 0.3 0.501960784\n';

// ---------------------------------------------------------------------------------------------
// Fixtures: each a list of files, the model first
// ---------------------------------------------------------------------------------------------

function fixtures() {
  const sample = path.join(__dirname, '../../examples/3d.asc');
  const cases = {};
  for (const format of ['obj', 'ply', 'stl', 'glb', 'gltf', 'dae', '3ds']) {
    const model = converted(sample, 'sample.' + format);
    cases['sample.' + format] = [model].concat(
      format === 'obj' ? [inFolder('sample.mtl')] : format === 'gltf' ? [inFolder('sample.bin')] : []);
  }
  for (const seed of [1, 2, 3]) {
    fs.writeFileSync(inFolder(`random${seed}.asc`), randomMeshText(seed));
    for (const format of ['obj', 'ply', 'glb']) {
      const name = `random${seed}.${format}`;
      cases[name] = [converted(inFolder(`random${seed}.asc`), name)].concat(
        format === 'obj' ? [inFolder(`random${seed}.mtl`)] : []);
    }
  }
  const realWorld = path.join(shared, 'data/realworld');
  for (const file of fs.readdirSync(realWorld).filter((name) => name.endsWith('.asc'))) {
    const stem = path.basename(file, '.asc');
    cases[stem + '.obj'] = [converted(path.join(realWorld, file), stem + '.obj'),
      inFolder(stem + '.mtl')];
    cases[stem + '.glb'] = [converted(path.join(realWorld, file), stem + '.glb')];
  }
  cases['knot.ply'] = [path.join(__dirname, '../../examples/knot.ply')];
  fs.writeFileSync(inFolder('tree.gltf'), nodeTreeGltf());
  cases['tree.gltf'] = [inFolder('tree.gltf')];
  fs.writeFileSync(inFolder('groups.obj'), kGroupsObj);
  fs.writeFileSync(inFolder('groups.mtl'), kGroupsMtl);
  cases['groups.obj'] = [inFolder('groups.obj'), inFolder('groups.mtl')];
  return cases;
}

const cases = fixtures();

// ---------------------------------------------------------------------------------------------
// Tests
// ---------------------------------------------------------------------------------------------

describe('ImportWorker', () => {
  for (const [name, files] of Object.entries(cases)) {
    test(`${name} gives the objects of the desktop's import`, () => {
      const native = meshTextObjects(fs.readFileSync(converted(files[0], 'native.asc'), 'utf8'));
      assert.deepStrictEqual(plain(webObjects(files)), native);
    });
  }

  test('files that cannot be shown say why', () => {
    const write = (name, bytes) => (fs.writeFileSync(inFolder(name), bytes), inFolder(name));
    const damaged = fs.readFileSync(cases['sample.glb'][0]).subarray(0, 200);
    assert.throws(() => webObjects([write('damaged.glb', damaged)]), /not a readable \.glb file/);
    assert.throws(() => webObjects([write('lines.obj', 'v 0 0 0\nv 1 0 0\nl 1 2\n')]),
      /holds no triangles/);
    assert.throws(() => webObjects([write('nothing.xyz', '1 2 3\n')]), /not a readable \.xyz/);
  });
});

describe('PlacedFrame', () => {
  const shown = ['sample.obj', 'random2.glb', 'knot.ply', 'tree.gltf', 'groups.obj',
    'city_27obj_multigroup_smoothing.obj'];
  for (const name of shown) {
    test(`${name} draws the desktop's frame`, () => {
      for (const [size, angles] of [[[320, 200], [210, 7, 90]], [[200, 320], [33, 301, 5]]]) {
        assert.ok(webFrame(cases[name], size, angles, 7).equals(
          nativeFrame(cases[name][0], size, angles, 7)), `${size} ${angles}`);
      }
    });
  }
});
