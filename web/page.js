// The viewer's page: loads the WebAssembly viewer (with threads where the page is
// cross-origin isolated), gives it the canvas, the model file and the page's events, and shows
// its pictures and boxes.

const kAnimateCommand = 210;
const kSaveCommand = 200;
const kReloadCommand = 211;
const kPictureFile = '3d.bmp';
const kSampleFile = '3d.asc';

const canvas = document.getElementById('view');
const box = document.getElementById('box');
const boxText = document.getElementById('box-text');
let viewer = null;
let droppedFiles = 0;

// The import worker, started with the first model of another format, and the imports it has not
// answered yet, by their numbers.
let importWorker = null;
let importsAsked = 0;
const importsWaiting = new Map();

function startImportWorker() {
  importWorker = new Worker('import_worker.js');
  importWorker.onmessage = ({ data }) => {
    const waiting = importsWaiting.get(data.id);
    importsWaiting.delete(data.id);
    if (data.error === undefined) waiting.resolve(data);
    else waiting.reject(Object.assign(new Error(data.error), { model: data.model }));
  };
  importWorker.onerror = (event) => {
    event.preventDefault();
    for (const waiting of importsWaiting.values()) {
      waiting.reject(new Error('the import library cannot be loaded'));
    }
    importsWaiting.clear();
    importWorker = null;
  };
}

// Models of other formats than mesh text: the model and its companion files (an OBJ's material
// library, a glTF's buffers), imported off the page's thread as the desktop viewer imports them.
// Resolves to { model, objects }: the model's file name and its objects, each
// { name, positions, corners, colours } in the viewer's space; rejects with the reason, and the
// model's name as the error's `model`.
export async function importModel(files) {
  const read = await Promise.all(
    files.map(async (file) => ({ name: file.name, bytes: await file.arrayBuffer() })),
  );
  if (importWorker === null) startImportWorker();
  return new Promise((resolve, reject) => {
    const id = ++importsAsked;
    importsWaiting.set(id, { resolve, reject });
    importWorker.postMessage({ id, files: read }, read.map((file) => file.bytes));
  });
}

// Copies an array into the module's memory; the caller frees it.
function inModule(array) {
  const at = viewer._malloc(Math.max(array.byteLength, 1));
  viewer.HEAPU8.set(new Uint8Array(array.buffer, array.byteOffset, array.byteLength), at);
  return at;
}

// Hands the imported objects to the viewer as the model at `path`, which opening then places.
function handObjects(path, objects) {
  viewer._corvathWebImportBegin();
  for (const object of objects) {
    const arrays = [object.positions, object.corners, object.colours].map(inModule);
    viewer.ccall(
      'corvathWebImportObject',
      'number',
      ['string', 'number', 'number', 'number', 'number', 'number'],
      [object.name, arrays[0], object.positions.length / 3, arrays[1], arrays[2], object.colours.length],
    );
    arrays.forEach((at) => viewer._free(at));
  }
  viewer.ccall('corvathWebImportEnd', null, ['string'], [path]);
}

function showMessage(text) {
  boxText.textContent = text;
  if (!box.open) box.showModal();
}

function showPixels(pixels, width, height) {
  const context = canvas.getContext('2d');
  context.putImageData(new ImageData(new Uint8ClampedArray(pixels.buffer), width, height), 0, 0);
  // From the start of the page's navigation, the origin of performance.now().
  if (!document.body.dataset.firstPictureMs) {
    document.body.dataset.firstPictureMs = performance.now().toFixed(1);
  }
}

function loadScript(source) {
  return new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = source;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${source} cannot be loaded`));
    document.head.append(script);
  });
}

// The module with threads where SharedArrayBuffer may be used, else the one without.
async function loadViewer() {
  const settings = {
    corvathCanvasWidth: canvas.width,
    corvathCanvasHeight: canvas.height,
    corvathShowPixels: showPixels,
    corvathShowMessage: showMessage,
  };
  if (self.crossOriginIsolated) {
    try {
      await loadScript('corvath-threads.js');
      const module = await self.createCorvathThreads(settings);
      document.body.dataset.threads = String(navigator.hardwareConcurrency || 1);
      return module;
    } catch (error) {
      console.warn(`${error.message}; drawing without threads`);
    }
  }
  await loadScript('corvath.js');
  document.body.dataset.threads = '1';
  return self.createCorvath(settings);
}

function baseName(path) {
  const name = decodeURIComponent(path.split('/').pop() || '');
  return name.replace(/[\x00/]/g, '_') || kSampleFile;
}

function isMeshText(name) {
  return /\.asc$/i.test(name);
}

// Writes a file into a folder of its own, so that it never replaces the file shown.
function writeDroppedFile(name, bytes) {
  const folder = `/dropped/${++droppedFiles}`;
  viewer.FS.mkdirTree(folder);
  viewer.FS.writeFile(`${folder}/${name}`, bytes);
  return `${folder}/${name}`;
}

// Mesh text through the viewer's reader; other formats through importModel, the model with its
// companion files. A file that cannot be opened raises the box, and the mesh shown stays.
async function openFiles(files) {
  let path;
  try {
    if (files.length === 1 && isMeshText(files[0].name)) {
      path = writeDroppedFile(baseName(files[0].name), new Uint8Array(await files[0].arrayBuffer()));
    } else {
      const imported = await importModel(files);
      // The file itself beside its objects, so that the viewer finds what it opens.
      const model = files.find((file) => file.name === imported.model) || files[0];
      path = writeDroppedFile(baseName(model.name), new Uint8Array(await model.arrayBuffer()));
      handObjects(path, imported.objects);
    }
  } catch (error) {
    showMessage(`${error.model || files[0].name}: ${error.message}`);
    return;
  }
  viewer.ccall('corvathWebDrop', null, ['string'], [path]);
  canvas.focus();
}

// The picture the viewer saves, downloaded. A save replaces the file by renaming a new one over
// it, so a file of another inode is a new picture; a failed save left the old one and said why.
function savePicture() {
  const { FS } = viewer;
  const inode = () => (FS.analyzePath(kPictureFile).exists ? FS.stat(kPictureFile).ino : null);
  const before = inode();
  viewer._corvathWebCommand(kSaveCommand);
  const after = inode();
  if (after === null || after === before) return;
  const blob = new Blob([FS.readFile(kPictureFile)], { type: 'image/bmp' });
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = kPictureFile;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// Canvas pixels under the pointer: the canvas is stretched over the page when the window is
// resized after the start.
function canvasPoint(event) {
  const area = canvas.getBoundingClientRect();
  return [
    Math.floor(((event.clientX - area.left) * canvas.width) / Math.max(area.width, 1)),
    Math.floor(((event.clientY - area.top) * canvas.height) / Math.max(area.height, 1)),
  ];
}

function listen() {
  canvas.addEventListener('mousemove', (event) => {
    const [x, y] = canvasPoint(event);
    viewer._corvathWebMouseMove(x, y, event.buttons & 3);
  });
  canvas.addEventListener('mousedown', (event) => {
    canvas.focus();
    viewer._corvathWebMouseButton(event.button, 1);
  });
  window.addEventListener('mouseup', (event) => viewer._corvathWebMouseButton(event.button, 0));
  canvas.addEventListener('contextmenu', (event) => event.preventDefault());
  document.addEventListener('keydown', (event) => {
    if (box.open) return;
    const plain = !event.ctrlKey && !event.altKey && !event.metaKey;
    if (event.code === 'Space' && plain && event.target.tagName !== 'BUTTON') {
      event.preventDefault();
      if (!event.repeat) viewer._corvathWebCommand(kAnimateCommand);
    } else if (event.key === 'F5' && plain) {
      event.preventDefault();
      if (!event.repeat) viewer._corvathWebCommand(kReloadCommand);
    } else if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 's') {
      event.preventDefault();
      if (!event.repeat) savePicture();
    }
  });
  document.getElementById('save').addEventListener('click', savePicture);
  const pick = document.getElementById('pick');
  pick.addEventListener('change', () => {
    if (pick.files.length > 0) openFiles(Array.from(pick.files));
    pick.value = '';
  });
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dropping');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dropping');
    if (event.dataTransfer.files.length > 0) openFiles(Array.from(event.dataTransfer.files));
  });
  box.addEventListener('close', () => canvas.focus());
}

// The model the page opens first: ?mesh=URL (relative to the page), else the sample. Returns
// its name in the viewer's file system, or the sample's name (an empty mesh) when none came.
async function firstModel() {
  const asked = new URLSearchParams(location.search).get('mesh');
  const source = new URL(asked || kSampleFile, location.href);
  try {
    const response = await fetch(source);
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    const name = baseName(source.pathname);
    const bytes = new Uint8Array(await response.arrayBuffer());
    if (!isMeshText(name)) handObjects(name, (await importModel([new File([bytes], name)])).objects);
    viewer.FS.writeFile(name, bytes);
    return name;
  } catch (error) {
    if (asked) showMessage(`${asked}: ${error.message}`);
    return kSampleFile;
  }
}

async function start() {
  canvas.width = Math.max(window.innerWidth, 1);
  canvas.height = Math.max(window.innerHeight, 1);
  viewer = await loadViewer();
  const file = await firstModel();
  listen();
  viewer.ccall('corvathWebStart', 'number', ['string'], [file]);
  document.body.dataset.ready = '1';
  canvas.focus();
}

start().catch((error) => showMessage(`The viewer cannot start: ${error.message}`));
