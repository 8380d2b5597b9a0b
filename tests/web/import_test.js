// The page's import of other formats held to the desktop's: the worker's objects field by field
// against what corvath-convert writes as mesh text, and the placed frame byte for byte against
// corvath-render. The files are made at test time by corvath-convert (from the sample, random
// meshes and the real-world files of other programs) or written here where a writer cannot make
// them (node transforms, a node with several meshes, polygons, lines).
// Run by scripts/web --test: CORVATH_BUILD names the native build, CORVATH_WEB the web build.
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
let core;

before(async () => {
  assimp = await require(path.join(web, 'node_modules/assimpjs'))();
  // This emscripten fetches its .wasm by URL, which node cannot: the bytes are handed over.
  core = await require(path.join(web, 'site/corvath_core.js'))(
    {wasmBinary: fs.readFileSync(path.join(web, 'site/corvath_core.wasm'))});
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

// The frame the page draws of the files, as BMP bytes.
function webFrame(files, size, angles, seed) {
  core._corvathStartView(size[0], size[1], seed);
  core._corvathImportBegin();
  const copy = (array) => {
    const at = core._malloc(Math.max(array.byteLength, 1));
    core.HEAPU8.set(new Uint8Array(array.buffer, array.byteOffset, array.byteLength), at);
    return at;
  };
  for (const object of webObjects(files)) {
    const length = core.lengthBytesUTF8(object.name) + 1;
    const name = core._malloc(length);
    core.stringToUTF8(object.name, name, length);
    const held = [name, copy(object.positions), copy(object.corners), copy(object.colours)];
    core._corvathImportObject(...held.slice(0, 2), object.positions.length / 3, held[2], held[3],
      object.colours.length);
    held.forEach((at) => core._free(at));
  }
  assert.ok(core._corvathImportPlace(size[0], size[1]),
    core.UTF8ToString(core._corvathImportError()));
  const sizeAt = core._malloc(4);
  const at = core._corvathFrameBmp(...angles, sizeAt);
  const bytes = core.HEAPU8.slice(at, at + core.HEAPU32[sizeAt >> 2]);
  core._free(sizeAt);
  return Buffer.from(bytes);
}

function nativeFrame(file, size, angles, seed) {
  const out = inFolder('native.bmp');
  execFileSync(render, ['--mesh', file, '--size', size.join('x'), '--angles', angles.join(','),
    '--seed', String(seed), '--no-status', '--out', out], {stdio: 'pipe'});
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

// A binary glTF of nested matrices, a mirror, parts given as translation, rotation and scale, a
// mesh shown by two nodes, a mesh of two primitives and corner colours.
function nodeTreeGlb() {
  const positions = new Float32Array([0, 0, 0, 1.1, 0, 0, 0, 1.3, 0.2, 0.7, 0.7, 0.1]);
  const colours = new Float32Array([1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 0.5, 0.25, 0.125, 1]);
  const binary = Buffer.concat([positions, colours, new Uint32Array([0, 1, 2, 1, 3, 2]),
    new Uint32Array([0, 2, 1])].map((array) => Buffer.from(array.buffer)));
  const view = (byteOffset, byteLength) => ({buffer: 0, byteOffset, byteLength});
  const json = Buffer.from(JSON.stringify({
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
    buffers: [{byteLength: binary.length}],
    bufferViews: [view(0, 48), view(48, 64), view(112, 24), view(136, 12)],
    accessors: [
      {bufferView: 0, componentType: 5126, count: 4, type: 'VEC3', min: [0, 0, 0],
        max: [1.1, 1.3, 0.2]},
      {bufferView: 1, componentType: 5126, count: 4, type: 'VEC4'},
      {bufferView: 2, componentType: 5125, count: 6, type: 'SCALAR'},
      {bufferView: 3, componentType: 5125, count: 3, type: 'SCALAR'},
    ],
  }));
  const padded = Buffer.concat([json, Buffer.alloc((4 - json.length % 4) % 4, 0x20)]);
  const chunk = (bytes, type) => {
    const head = Buffer.alloc(8);
    head.writeUInt32LE(bytes.length, 0);
    head.writeUInt32LE(type, 4);
    return Buffer.concat([head, bytes]);
  };
  const body = Buffer.concat([chunk(padded, 0x4e4f534a), chunk(binary, 0x004e4942)]);
  const head = Buffer.alloc(12);
  head.writeUInt32LE(0x46546c67, 0);
  head.writeUInt32LE(2, 4);
  head.writeUInt32LE(12 + body.length, 8);
  return Buffer.concat([head, body]);
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
  fs.writeFileSync(inFolder('tree.glb'), nodeTreeGlb());
  cases['tree.glb'] = [inFolder('tree.glb')];
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

  test('a companion file named first still finds the model', () => {
    assert.deepStrictEqual(plain(webObjects(cases['groups.obj'].slice().reverse())),
      plain(webObjects(cases['groups.obj'])));
  });

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
  const shown = ['sample.obj', 'random2.glb', 'knot.ply', 'tree.glb', 'groups.obj',
    'city_27obj_multigroup_smoothing.obj'];
  for (const name of shown) {
    test(`${name} draws the desktop's frame`, () => {
      for (const [size, angles] of [[[320, 200], [210, 7, 90]], [[200, 320], [33, 301, 5]]]) {
        assert.ok(webFrame(cases[name], size, angles, 7).equals(
          nativeFrame(cases[name][0], size, angles, 7)), `${size} ${angles}`);
      }
    });
  }

  test('a model beyond the tables is refused and the mesh shown stays', () => {
    const before = webFrame(cases['sample.obj'], [64, 48], [0, 0, 0], 1);
    core._corvathImportBegin();
    const vertices = 4194304;  // one past the tables
    const positions = core._malloc(vertices * 24);
    const corners = core._malloc(12);
    const colours = core._malloc(4);
    core.HEAPU32.set([0, 1, 2], corners >> 2);
    core.HEAP32[colours >> 2] = -1;
    const name = core._malloc(8);
    core.stringToUTF8('big', name, 8);
    assert.ok(core._corvathImportObject(name, positions, vertices, corners, colours, 1));
    [positions, corners, colours, name].forEach((at) => core._free(at));
    assert.ok(!core._corvathImportPlace(64, 48));
    assert.match(core.UTF8ToString(core._corvathImportError()), /corvath-convert --fit/);
    const sizeAt = core._malloc(4);
    const at = core._corvathFrameBmp(0, 0, 0, sizeAt);
    assert.ok(Buffer.from(core.HEAPU8.slice(at, at + core.HEAPU32[sizeAt >> 2])).equals(before));
  });
});
