// Imports models of other formats for the page, off its thread, as the desktop viewer's import
// does: objects per mesh and node, the nodes' transforms applied, triangles only, y-up turned to
// the viewer's space, face colours from the corners or the material, vertices welded.
//
// The import library comes as assimpjs, which hands a scene over only as files it writes: its
// JSON dump keeps the structure (names, nodes, materials) but prints numbers to 6 digits, and
// its binary glTF keeps every number exact but merges a node's meshes and loses their names. So
// the file is read into both, and each mesh of the dump takes its exact numbers from the glTF
// primitive that shows the same corners. The arithmetic is double precision throughout, in the
// order the desktop's import computes it.
//
// Messages: in, {id, files: [{name, bytes: ArrayBuffer}, ...]} (the model and its companion
// files, such as an OBJ's material library, in any order); out, {id, model, objects: [{name,
// positions: Float64Array, corners: Uint32Array, colours: Int32Array}]} with the arrays
// transferred, or {id, model, error: reason}; model names the file taken for the model.
'use strict';

const kNoColour = -1;
// Extensions of files that come beside a model rather than being one.
const kCompanionExtensions = new Set(['mtl', 'bin', 'png', 'jpg', 'jpeg', 'bmp', 'tga', 'dds',
  'gif', 'tif', 'tiff', 'ktx', 'ktx2', 'webp']);
const kGlbJsonChunk = 0x4e4f534a;
const kGlbBinaryChunk = 0x004e4942;
const kTriangles = 4;

function fileExtension(name) {
  const base = name.slice(name.lastIndexOf('/') + 1);
  const point = base.lastIndexOf('.');
  return point > 0 ? base.slice(point + 1).toLowerCase() : '';
}

// The model first: assimpjs takes the first file of the list that it can read.
function modelFirst(files) {
  const models = files.filter((file) => !kCompanionExtensions.has(fileExtension(file.name)));
  const others = files.filter((file) => kCompanionExtensions.has(fileExtension(file.name)));
  return models.concat(others);
}

// ---------------------------------------------------------------------------------------------
// Binary glTF
// ---------------------------------------------------------------------------------------------

function parseGlb(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (bytes.byteLength < 20 || view.getUint32(0, true) !== 0x46546c67) {
    throw new Error('the import library wrote no binary glTF');
  }
  let json = null;
  let binary = null;
  for (let at = 12; at + 8 <= bytes.byteLength;) {
    const length = view.getUint32(at, true);
    const type = view.getUint32(at + 4, true);
    const chunk = bytes.subarray(at + 8, at + 8 + length);
    if (type === kGlbJsonChunk) json = JSON.parse(new TextDecoder().decode(chunk));
    if (type === kGlbBinaryChunk) binary = chunk;
    at += 8 + length;
  }
  if (json === null) throw new Error('the import library wrote a glTF without its JSON');
  return {json, binary: binary || new Uint8Array(0)};
}

const kComponents = {SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4};
const kComponentReaders = {
  5121: [1, (view, at) => view.getUint8(at)],
  5123: [2, (view, at) => view.getUint16(at, true)],
  5125: [4, (view, at) => view.getUint32(at, true)],
  5126: [4, (view, at) => view.getFloat32(at, true)],
};

// An accessor's values as doubles, component after component (floats widen exactly).
function readAccessor(glb, index) {
  const accessor = glb.json.accessors[index];
  const components = kComponents[accessor.type];
  const [size, read] = kComponentReaders[accessor.componentType] || [];
  if (components === undefined || read === undefined || accessor.bufferView === undefined) {
    throw new Error('the import library wrote data of an unexpected kind');
  }
  const bufferView = glb.json.bufferViews[accessor.bufferView];
  const stride = bufferView.byteStride || size * components;
  const start = (bufferView.byteOffset || 0) + (accessor.byteOffset || 0);
  const view = new DataView(glb.binary.buffer, glb.binary.byteOffset, glb.binary.byteLength);
  const values = new Float64Array(accessor.count * components);
  for (let element = 0; element < accessor.count; ++element) {
    for (let c = 0; c < components; ++c) {
      values[element * components + c] = read(view, start + element * stride + c * size);
    }
  }
  return values;
}

// ---------------------------------------------------------------------------------------------
// Matching the dump's meshes to the glTF's primitives
// ---------------------------------------------------------------------------------------------

// Whether a number printed to 6 significant digits may be the exact value.
function sixDigitsOf(printed, exact) {
  return printed === exact || Math.abs(printed - exact) <= 1e-5 * Math.abs(exact) + 1e-37;
}

// The primitives of every glTF mesh, in order, with their exact data read when first needed.
function glbPrimitives(glb) {
  const primitives = [];
  for (const mesh of glb.json.meshes || []) {
    for (const primitive of mesh.primitives) primitives.push({primitive, used: false});
  }
  return primitives;
}

function exactData(glb, entry) {
  if (entry.positions === undefined) {
    const attributes = entry.primitive.attributes;
    entry.positions = readAccessor(glb, attributes.POSITION);
    entry.indices = entry.primitive.indices === undefined
      ? null
      : readAccessor(glb, entry.primitive.indices);
    entry.colours = attributes.COLOR_0 === undefined ? null : readAccessor(glb, attributes.COLOR_0);
    entry.colourComponents = attributes.COLOR_0 === undefined
      ? 0
      : kComponents[glb.json.accessors[attributes.COLOR_0].type];
  }
  return entry;
}

// Whether the primitive shows the dump's triangles: the same corners at the same positions.
function showsMesh(glb, entry, mesh, triangles) {
  const primitive = entry.primitive;
  if ((primitive.mode === undefined ? kTriangles : primitive.mode) !== kTriangles) return false;
  if ((primitive.material === undefined ? -1 : primitive.material) !== mesh.materialindex) {
    return false;
  }
  const data = exactData(glb, entry);
  if ((data.colours !== null) !== Array.isArray(mesh.colors)) return false;
  const cornerTotal = data.indices === null ? data.positions.length / 3 : data.indices.length;
  if (cornerTotal !== triangles.length * 3) return false;
  const printed = mesh.vertices;
  for (let corner = 0; corner < cornerTotal; ++corner) {
    const exact = data.indices === null ? corner : data.indices[corner];
    const dumped = triangles[Math.floor(corner / 3)][corner % 3];
    for (let axis = 0; axis < 3; ++axis) {
      if (!sixDigitsOf(printed[3 * dumped + axis], data.positions[3 * exact + axis])) return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

// A channel of 0 to 1 as a byte, rounded half to even, out-of-range values clamped.
function colourByte(channel) {
  if (!(channel > 0)) return 0;
  const scaled = Math.min(channel, 1) * 255;
  const floor = Math.floor(scaled);
  const rest = scaled - floor;
  if (rest > 0.5 || (rest === 0.5 && floor % 2 === 1)) return floor + 1;
  return floor;
}

function packColour(red, green, blue) {
  return colourByte(red) + 256 * colourByte(green) + 65536 * colourByte(blue);
}

// The import library's stand-in for no material: "DefaultMaterial", or "DefaultMaterial_N".
function isStandInName(name) {
  return /^DefaultMaterial(_[0-9]+)?$/.test(name);
}

function materialProperty(material, key) {
  const found = (material.properties || []).find((p) => p.key === key && p.semantic === 0);
  return found === undefined ? undefined : found.value;
}

// The diffuse colour of each material the file defined, else kNoColour. The glTF holds the base
// colour where a material has one and the diffuse colour otherwise: exact when they agree.
function materialColours(dump, glb) {
  return (dump.materials || []).map((material, index) => {
    const name = materialProperty(material, '?mat.name');
    const diffuse = materialProperty(material, '$clr.diffuse');
    if (typeof name !== 'string' || name.length === 0 || isStandInName(name)) return kNoColour;
    if (!Array.isArray(diffuse) || diffuse.length < 3) return kNoColour;
    const glbMaterial = ((glb.json.materials || [])[index] || {}).pbrMetallicRoughness || {};
    const factor = glbMaterial.baseColorFactor;
    const exact = Array.isArray(factor) && [0, 1, 2].every((c) => sixDigitsOf(diffuse[c], factor[c]));
    const colour = exact ? factor : diffuse;
    return packColour(colour[0], colour[1], colour[2]);
  });
}

// ---------------------------------------------------------------------------------------------
// Placing
// ---------------------------------------------------------------------------------------------

// A node's transform to the root, row-major, in double precision as the desktop computes it.
function product(left, glbNode) {
  const matrix = glbNode.matrix;  // column-major, when not the identity
  if (glbNode.translation || glbNode.rotation || glbNode.scale) {
    throw new Error('the import library wrote a transform in parts');
  }
  const right = (row, column) =>
    matrix === undefined ? (row === column ? 1 : 0) : matrix[4 * column + row];
  const result = [[0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0]];
  for (let row = 0; row < 4; ++row) {
    for (let column = 0; column < 4; ++column) {
      let sum = 0;
      for (let k = 0; k < 4; ++k) sum += left[row][k] * right(k, column);
      result[row][column] = sum;
    }
  }
  return result;
}

function determinant3(m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
    m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
    m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Mesh text keeps a name between quotes on one line.
function plainName(name) {
  let plain = '';
  for (const c of new TextEncoder().encode(name)) {
    plain += c === 0x22 ? "'" : c < 32 ? ' ' : String.fromCharCode(c);
  }
  // Back from bytes, so that names outside ASCII stay as they were.
  return new TextDecoder().decode(Uint8Array.from(plain, (c) => c.charCodeAt(0)));
}

function meshObject(mesh, node, data, transform, meshColour) {
  const name = plainName(mesh.name ? mesh.name : node.name ? node.name : 'mesh');
  const m = transform;
  const vertexTotal = data.positions.length / 3;
  const positions = new Float64Array(vertexTotal * 3);
  for (let v = 0; v < vertexTotal; ++v) {
    const x = data.positions[3 * v];
    const y = data.positions[3 * v + 1];
    const z = data.positions[3 * v + 2];
    const placed = [0, 0, 0];
    for (let row = 0; row < 3; ++row) {
      placed[row] = m[row][0] * x + m[row][1] * y + m[row][2] * z + m[row][3];
      if (!Number.isFinite(placed[row])) {
        throw new Error('a vertex of "' + name + '" has a coordinate that is not a finite number');
      }
    }
    // Half a turn about x takes y-up space to the viewer's y-down space; + 0 turns -0 into 0.
    positions[3 * v] = placed[0] + 0;
    positions[3 * v + 1] = -placed[1] + 0;
    positions[3 * v + 2] = -placed[2] + 0;
  }
  const mirrored = determinant3(m) < 0;
  const cornerTotal = data.indices === null ? vertexTotal : data.indices.length;
  const corners = [];
  const colours = [];
  const colourAt = (vertex, channel) => data.colours[data.colourComponents * vertex + channel];
  for (let f = 0; f + 2 < cornerTotal; f += 3) {
    const corner = [0, 1, 2].map((k) => (data.indices === null ? f + k : data.indices[f + k]));
    if (corner.some((c) => c >= vertexTotal)) continue;
    corners.push(corner[0], corner[mirrored ? 2 : 1], corner[mirrored ? 1 : 2]);
    let colour = meshColour;
    if (data.colours !== null) {
      const sum = [0, 0, 0];
      for (let k = 0; k < 3; ++k) {
        for (let channel = 0; channel < 3; ++channel) sum[channel] += colourAt(corner[k], channel);
      }
      colour = packColour(sum[0] / 3, sum[1] / 3, sum[2] / 3);
    }
    colours.push(colour);
  }
  return {name, positions, corners: Uint32Array.from(corners), colours: Int32Array.from(colours)};
}

// Merges vertices of equal position within each object and drops those no face uses; corners
// keep their order, and vertices are numbered as the corners first name them.
function weldVertices(object) {
  const first = new Map();
  const renumber = new Int32Array(object.positions.length / 3).fill(-1);
  const positions = [];
  const corners = object.corners;
  for (let i = 0; i < corners.length; ++i) {
    const vertex = corners[i];
    if (renumber[vertex] < 0) {
      const p = object.positions.subarray(3 * vertex, 3 * vertex + 3);
      const key = p[0] + ' ' + p[1] + ' ' + p[2];
      let target = first.get(key);
      if (target === undefined) {
        target = positions.length / 3;
        first.set(key, target);
        positions.push(p[0], p[1], p[2]);
      }
      renumber[vertex] = target;
    }
    corners[i] = renumber[vertex];
  }
  object.positions = Float64Array.from(positions);
}

// ---------------------------------------------------------------------------------------------
// Importing
// ---------------------------------------------------------------------------------------------

function convert(ajs, files, format) {
  const list = new ajs.FileList();
  for (const file of files) list.AddFile(file.name, new Uint8Array(file.bytes));
  const result = ajs.ConvertFileList(list, format);
  if (!result.IsSuccess() || result.FileCount() === 0) return null;
  return result.GetFile(0).GetContent();
}

// The objects of the model among the files, or throws with a one-line reason.
function importObjects(ajs, givenFiles) {
  const files = modelFirst(givenFiles);
  const extension = fileExtension(files[0].name);
  const dumpBytes = convert(ajs, files, 'assjson');
  if (dumpBytes === null) {
    throw new Error(extension ? 'not a readable .' + extension + ' file' : 'no extension to tell its format by');
  }
  let dump;
  try {
    dump = JSON.parse(new TextDecoder().decode(dumpBytes));
  } catch (e) {
    // The dump prints a coordinate that is not a number as no JSON number.
    throw new Error('holds a coordinate that is not a finite number');
  }
  const glbBytes = convert(ajs, files, 'glb2');
  if (glbBytes === null) throw new Error('not a readable .' + extension + ' file');
  const glb = parseGlb(glbBytes);
  if (!dump.rootnode) throw new Error('holds no scene');

  const primitives = glbPrimitives(glb);
  const colours = materialColours(dump, glb);
  const meshes = dump.meshes || [];
  const triangleLists = meshes.map((mesh) => (mesh.faces || []).filter((face) => face.length === 3));
  const dataOf = new Array(meshes.length);
  const exactOf = (index) => {
    if (dataOf[index] === undefined) {
      const entry = primitives.find((candidate) => !candidate.used &&
        showsMesh(glb, candidate, meshes[index], triangleLists[index]));
      if (entry === undefined) throw new Error('the import library lost a mesh of the file');
      entry.used = true;
      dataOf[index] = entry;
    }
    return dataOf[index];
  };

  const objects = [];
  const glbNodes = glb.json.nodes || [];
  const rootIndex = ((glb.json.scenes || [])[glb.json.scene || 0] || {nodes: [0]}).nodes[0];
  const identity = [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]];
  const visit = (node, glbNode, parent) => {
    if (glbNode === undefined || (node.children || []).length !== (glbNode.children || []).length) {
      throw new Error('the import library lost a node of the file');
    }
    const transform = product(parent, glbNode);
    for (const index of node.meshes || []) {
      if (index >= meshes.length || triangleLists[index].length === 0) continue;
      const mesh = meshes[index];
      const meshColour = mesh.materialindex < colours.length ? colours[mesh.materialindex] : kNoColour;
      const object = meshObject(mesh, node, exactOf(index), transform, meshColour);
      if (object.colours.length > 0) objects.push(object);
    }
    (node.children || []).forEach((child, i) => visit(child, glbNodes[glbNode.children[i]], transform));
  };
  visit(dump.rootnode, glbNodes[rootIndex], identity);
  if (objects.length === 0) throw new Error('holds no triangles');
  objects.forEach(weldVertices);
  return objects;
}

// ---------------------------------------------------------------------------------------------
// The worker
// ---------------------------------------------------------------------------------------------

let assimp = null;

function loadAssimp() {
  if (assimp === null) {
    // Beside this script in the built page; its .wasm beside it too.
    importScripts('assimpjs.js');
    assimp = self.assimpjs();
  }
  return assimp;
}

if (typeof module !== 'undefined') {
  module.exports = {importObjects, modelFirst};
} else {
  self.onmessage = async (event) => {
    const {id, files} = event.data;
    const model = files.length > 0 ? modelFirst(files)[0].name : '';
    try {
      const ajs = await loadAssimp();
      const objects = importObjects(ajs, files);
      const transfer = [];
      for (const object of objects) {
        transfer.push(object.positions.buffer, object.corners.buffer, object.colours.buffer);
      }
      self.postMessage({id, model, objects}, transfer);
    } catch (error) {
      self.postMessage({id, model, error: error instanceof Error ? error.message : String(error)});
    }
  };
}
