// SPDX-License-Identifier: MIT
// The report's viewer: decodes the embedded arrays once, draws the part with its thickness colours, thin
// areas, cavities, drain holes and build plate with three.js, and fills the summary, chart and tables.
// Everything of the part lives in one group in model coordinates; the group turns the part so that its build
// direction points up and stands it on the plate, so labels and tables keep the model's coordinates.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';

const NEUTRAL_PART = 0xb8bec6;
const OUTLINE = 0x101010;
const HIGHLIGHT = 0x00e5ff;
// Drain and vent holes: a teal between the thickness scale's greens and the highlight's cyan, so that a hole
// never reads as a thin wall or a selection.
const DRAIN_COLOUR = 0x00d0bf;
// three.js draws y up; the part is turned so that its build direction points along it.
const WORLD_UP = new THREE.Vector3(0, 1, 0);
// Cavity colours keep clear of the thickness scale (hues 0 to 150) and of the cyan highlight: blue to magenta.
const CAVITY_COLOURS = [0x1f5fff, 0xb620e0, 0x6a3df0, 0xe0208f, 0x2f8fff, 0x8e44ad, 0x3949ab, 0x7b1fa2];
const FLY_MS = 600;
// Overhangs are hatched in near-black, islands marked by dark cones and suction cups by brown rings:
// shades that the thickness scale, the cavities, the drain holes and the highlight never use.
const OVERHANG_COLOUR = 0x141414;
const ISLAND_COLOUR = 0x2b2b2b;
const SUCTION_COLOUR = 0x6d4c41;
// Label priorities: where two would overlap, the lower one moves out of the way (or hides).
const PRIORITY = { plate: 0, suction: 1, cavity: 2 };

const numberFormat = (value, digits = 4) => {
  if (value === undefined || value === null || !Number.isFinite(Number(value))) return '—';
  const v = Number(value);
  if (Number.isInteger(v) && Math.abs(v) < 1e15) return String(v);
  const text = Math.abs(v) >= 1e6 || Math.abs(v) < 1e-3 ? v.toExponential(digits - 1) : String(Number(v.toPrecision(digits)));
  return text;
};
// Rounding noise of the tool's rotations (1e-7 for 0) would read as a real coordinate.
const pointText = (p) => (Array.isArray(p) ? '(' + p.map((c) => numberFormat(Math.abs(c) < 5e-5 ? 0 : c)).join(', ') + ')' : '—');

function readJson(id) {
  const element = document.getElementById(id);
  if (!element) throw new Error('the page lacks its data "' + id + '"');
  return JSON.parse(element.textContent);
}

/// The binary block, decoded once: the browser's own decoder where it has one, atob otherwise.
function decodeBinary(expectedBytes) {
  const text = document.getElementById('report-binary').textContent.trim();
  let bytes;
  if (typeof Uint8Array.fromBase64 === 'function') {
    bytes = Uint8Array.fromBase64(text);
  } else {
    const raw = atob(text);
    bytes = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; ++i) bytes[i] = raw.charCodeAt(i);
  }
  if (bytes.length !== expectedBytes) throw new Error('binary data holds ' + bytes.length + ' bytes, expected ' + expectedBytes);
  return bytes;
}

/// A typed view of one embedded array (no copy; offsets are 4-byte aligned and the data little-endian).
function arrayView(bytes, ref) {
  if (!ref) return null;
  if (ref.type === 'uint24') {
    // Vertex indices in three little-endian bytes each: widened once into a 32-bit array.
    const packed = new Uint8Array(bytes.buffer, bytes.byteOffset + ref.offset, 3 * ref.length);
    const wide = new Uint32Array(ref.length);
    for (let i = 0, b = 0; i < ref.length; ++i, b += 3) wide[i] = packed[b] | (packed[b + 1] << 8) | (packed[b + 2] << 16);
    return wide;
  }
  const Type = { float32: Float32Array, uint32: Uint32Array, uint8: Uint8Array }[ref.type];
  if (!Type) throw new Error('unknown array type ' + ref.type);
  return new Type(bytes.buffer, bytes.byteOffset + ref.offset, ref.length);
}

/// Three bytes per face: stored as they are, or as a palette with one index byte per face.
function faceColours(bytes, part) {
  if (part.colours) return arrayView(bytes, part.colours);
  if (!part.colourIndex) return null;
  const palette = arrayView(bytes, part.colourPalette);
  const index = arrayView(bytes, part.colourIndex);
  const rgb = new Uint8Array(index.length * 3);
  for (let f = 0; f < index.length; ++f) {
    const p = 3 * index[f];
    if (p + 2 >= palette.length) throw new Error('face ' + f + ': colour ' + index[f] + ' beyond the palette');
    rgb[3 * f] = palette[p];
    rgb[3 * f + 1] = palette[p + 1];
    rgb[3 * f + 2] = palette[p + 2];
  }
  return rgb;
}

function element(tag, attributes = {}, children = []) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'text') node.textContent = value;
    else if (key === 'className') node.className = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function notAnalysed(container, text) {
  container.replaceChildren(element('p', { className: 'not-analysed', text }));
}

function rgbCss(rgb) {
  return 'rgb(' + rgb[0] + ',' + rgb[1] + ',' + rgb[2] + ')';
}

function hexCss(hex) {
  return '#' + hex.toString(16).padStart(6, '0');
}

/// The legend's colour at a thickness: the nearest stop at or below it (the tool's scale is stepwise).
function legendColour(legend, thickness) {
  let colour = legend.stops[0].rgb;
  for (const stop of legend.stops) if (stop.thickness <= thickness) colour = stop.rgb;
  return colour;
}

// ---------------------------------------------------------------- geometry

/// The part as unshared triangles, so that each face carries its own colour on all three corners.
function partGeometry(positions, triangles, colours) {
  const faceCount = triangles.length / 3;
  const corners = new Float32Array(faceCount * 9);
  for (let f = 0; f < faceCount; ++f) {
    for (let k = 0; k < 3; ++k) {
      const v = triangles[3 * f + k] * 3;
      const o = 9 * f + 3 * k;
      corners[o] = positions[v];
      corners[o + 1] = positions[v + 1];
      corners[o + 2] = positions[v + 2];
    }
  }
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(corners, 3));
  if (colours) {
    const cornerColours = new Uint8Array(faceCount * 9);
    for (let f = 0; f < faceCount; ++f) {
      const r = colours[3 * f], g = colours[3 * f + 1], b = colours[3 * f + 2];
      const o = 9 * f;
      cornerColours[o] = cornerColours[o + 3] = cornerColours[o + 6] = r;
      cornerColours[o + 1] = cornerColours[o + 4] = cornerColours[o + 7] = g;
      cornerColours[o + 2] = cornerColours[o + 5] = cornerColours[o + 8] = b;
    }
    geometry.setAttribute('color', new THREE.BufferAttribute(cornerColours, 3, true));
  }
  geometry.computeBoundingBox();
  geometry.computeBoundingSphere();
  return geometry;
}

function indexedGeometry(positions, triangles) {
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
  geometry.setIndex(new THREE.BufferAttribute(triangles, 1));
  geometry.computeBoundingBox();
  geometry.computeBoundingSphere();
  return geometry;
}

/// Segments along every loop of a thin area, closed whether or not the loop repeats its first vertex.
function loopSegments(positions, loopVertices, loopLengths) {
  const points = [];
  let start = 0;
  for (const length of loopLengths) {
    const loop = loopVertices.subarray(start, start + length);
    start += length;
    const closed = length > 1 && loop[0] === loop[length - 1];
    const count = closed ? length - 1 : length;
    for (let i = 0; i < count; ++i) {
      const a = loop[i] * 3, b = loop[(i + 1) % count] * 3;
      points.push(positions[a], positions[a + 1], positions[a + 2], positions[b], positions[b + 1], positions[b + 2]);
    }
  }
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(points), 3));
  return geometry;
}

/// Face indices from [first, count] pairs.
function expandRuns(runs) {
  let total = 0;
  for (let r = 1; r < runs.length; r += 2) total += runs[r];
  const faces = new Uint32Array(total);
  let at = 0;
  for (let r = 0; r < runs.length; r += 2) for (let k = 0; k < runs[r + 1]; ++k) faces[at++] = runs[r] + k;
  return faces;
}

function faceSubsetGeometry(positions, triangles, faces) {
  const corners = new Float32Array(faces.length * 9);
  for (let i = 0; i < faces.length; ++i)
    for (let k = 0; k < 3; ++k) {
      const v = triangles[3 * faces[i] + k] * 3;
      corners.set(positions.subarray(v, v + 3), 9 * i + 3 * k);
    }
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(corners, 3));
  geometry.computeBoundingBox();
  return geometry;
}

function boxOfPoints(points) {
  const box = new THREE.Box3();
  for (const p of points) if (Array.isArray(p)) box.expandByPoint(new THREE.Vector3(p[0], p[1], p[2]));
  return box;
}

// ---------------------------------------------------------------- the scene

/// Two unit directions are the same within rounding.
const sameDirection = (a, b) => a.dot(b) > 1 - 1e-9;

/// Hatching: diagonal bands of pixels are left out, so that what lies under a tinted face still shows.
function hatched(material) {
  material.onBeforeCompile = (shader) => {
    shader.fragmentShader = shader.fragmentShader.replace('void main() {',
      'void main() {\n\tif (mod(gl_FragCoord.x + gl_FragCoord.y, 8.0) < 4.0) discard;');
  };
  return material;
}

class ReportView {
  constructor(container, scene, bytes, summary = {}) {
    this.container = container;
    this.data = scene;
    this.items = new Map(); // "cavity-1" -> { box, highlight(on), label, row }
    this.selected = null;
    // How long the camera takes to fly to a selection; a page driven by a script may shorten it.
    this.flyMilliseconds = FLY_MS;
    // The direction the tool analysed the cavities for; the page opens in it when the user chose it, else in
    // the best of the orientation table.
    this.orientation = summary.orientation || null;
    this.reportUp = new THREE.Vector3(...scene.up).normalize();
    const best = this.orientation?.directions?.[0];
    this.up = this.orientation && !this.orientation.up_chosen && best
      ? new THREE.Vector3(...best.up_vector).normalize() : this.reportUp.clone();
    this.sectionPlane = new THREE.Plane(new THREE.Vector3(0, -1, 0), 0);
    this.sectionFraction = 1;
    this.sectionHeight = null;

    this.renderer = new THREE.WebGLRenderer({ antialias: true });
    // The faces carry the tool's sRGB colour bytes: leave them as they are instead of converting.
    this.renderer.outputColorSpace = THREE.LinearSRGBColorSpace;
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.setClearColor(0xeef1f4);
    container.prepend(this.renderer.domElement);

    this.scene = new THREE.Scene();
    this.camera = new THREE.PerspectiveCamera(40, 1, 0.1, 1000);
    this.camera.up.copy(WORLD_UP);
    this.scene.add(new THREE.AmbientLight(0xffffff, 0.5 * Math.PI));
    this.headlight = new THREE.DirectionalLight(0xffffff, 0.6 * Math.PI);
    this.scene.add(this.headlight, this.headlight.target);

    this.model = new THREE.Group();
    this.scene.add(this.model);
    this.buildPart(bytes);
    this.placeOnPlate();
    this.buildThinAreas(bytes);
    this.buildCavities(bytes);
    this.buildDrainHoles();
    this.buildSuctionCups(summary.check);
    this.overhangGroup = new THREE.Group();
    this.model.add(this.overhangGroup);
    this.buildPlate();
    this.measureDirection();

    this.controls = new OrbitControls(this.camera, this.renderer.domElement);
    this.controls.addEventListener('change', () => this.requestRender());
    new ResizeObserver(() => this.resize()).observe(container);
    this.resize();
    this.resetView();
  }

  buildPart(bytes) {
    const part = this.data.part;
    this.positions = arrayView(bytes, part.positions);
    this.triangles = arrayView(bytes, part.triangles);
    const colours = faceColours(bytes, part);
    this.hasColours = !!colours;
    this.faceColours = colours;
    const geometry = partGeometry(this.positions, this.triangles, colours);
    // flatShading lights each face by its own plane, so the mesh needs no normals.
    this.partMaterial = new THREE.MeshLambertMaterial({
      color: colours ? 0xffffff : NEUTRAL_PART,
      vertexColors: !!colours,
      flatShading: true,
      side: THREE.DoubleSide,
      polygonOffset: true,
      polygonOffsetFactor: 1,
      polygonOffsetUnits: 1,
    });
    this.part = new THREE.Mesh(geometry, this.partMaterial);
    this.model.add(this.part);
  }

  /// Turns the model so that its up direction points up and moves it onto the plate: its lowest point at
  /// height 0, its box centred over the origin. partBox and partSphere are where the part is drawn.
  placeOnPlate() {
    this.model.quaternion.setFromUnitVectors(this.up, WORLD_UP);
    this.model.position.set(0, 0, 0);
    this.model.updateMatrixWorld(true);
    const turned = new THREE.Box3().setFromObject(this.part, true);
    const centre = turned.getCenter(new THREE.Vector3());
    this.model.position.set(-centre.x, -turned.min.y, -centre.z);
    this.model.updateMatrixWorld(true);
    this.partBox = new THREE.Box3().setFromObject(this.part, true);
    this.partSphere = this.part.geometry.boundingSphere.clone().applyMatrix4(this.model.matrixWorld);
  }

  /// Where a point in model coordinates (mm) is drawn.
  toScene(point) {
    return this.model.localToWorld(Array.isArray(point) ? new THREE.Vector3(...point) : point.clone());
  }

  /// Where a box in model coordinates is drawn (the turned box's own bounding box).
  boxToScene(box) {
    return box.clone().applyMatrix4(this.model.matrixWorld);
  }

  buildThinAreas(bytes) {
    this.thinGroup = new THREE.Group();
    this.model.add(this.thinGroup);
    (this.data.thinAreas || []).forEach((area, i) => {
      const faces = area.faceRuns ? expandRuns(arrayView(bytes, area.faceRuns)) : arrayView(bytes, area.faces);
      const lines = new THREE.LineSegments(
        loopSegments(this.positions, arrayView(bytes, area.loopVertices), arrayView(bytes, area.loopLengths)),
        new THREE.LineBasicMaterial({ color: OUTLINE }));
      this.thinGroup.add(lines);
      const overlay = new THREE.Mesh(faceSubsetGeometry(this.positions, this.triangles, faces),
        new THREE.MeshBasicMaterial({ color: HIGHLIGHT, side: THREE.DoubleSide, transparent: true, opacity: 0.85 }));
      overlay.visible = false;
      this.thinGroup.add(overlay);
      const box = overlay.geometry.boundingBox.clone();
      this.items.set('thin-' + (i + 1), {
        box,
        highlight: (on) => { overlay.visible = on; },
        show: () => this.setToggle('toggle-thin', true),
      });
    });
  }

  buildCavities(bytes) {
    this.cavityGroup = new THREE.Group();
    this.model.add(this.cavityGroup);
    this.labels = [];
    const labelLayer = document.getElementById('labels');
    (this.data.cavities || []).forEach((cavity, i) => {
      const colour = CAVITY_COLOURS[i % CAVITY_COLOURS.length];
      const material = new THREE.MeshLambertMaterial({
        color: colour, transparent: true, opacity: 0.55, depthWrite: false, flatShading: true, side: THREE.DoubleSide,
      });
      const mesh = new THREE.Mesh(indexedGeometry(arrayView(bytes, cavity.positions), arrayView(bytes, cavity.triangles)), material);
      mesh.renderOrder = 2;
      this.cavityGroup.add(mesh);
      const info = cavity.info || {};
      // The tool's box of the cavity's voxels where it gives one, else the drawn surface's.
      const box = Array.isArray(info.bounds) ? boxOfPoints(info.bounds) : mesh.geometry.boundingBox.clone();
      const anchor = Array.isArray(info.centroid) ? new THREE.Vector3(...info.centroid) : box.getCenter(new THREE.Vector3());
      const where = [element('span', { className: 'where', text: 'centre ' + locationOf(info, box) + ' mm' })];
      if (Array.isArray(info.lowest_point))
        where.push(element('span', { className: 'where', text: 'lowest ' + pointText(info.lowest_point) + ' mm' }));
      const label = element('div', { className: 'label', text: cavityName(info, i) + ' · ' + numberFormat(info.volume) + ' mm³' }, where);
      label.style.borderLeftColor = hexCss(colour);
      label.hidden = true;
      labelLayer.append(label);
      this.labels.push({ label, anchor, model: true, group: this.cavityGroup, priority: PRIORITY.cavity });
      this.items.set('cavity-' + (i + 1), {
        box,
        highlight: (on) => {
          material.opacity = on ? 0.9 : 0.55;
          material.emissive.setHex(on ? 0x222222 : 0x000000);
          label.classList.toggle('selected', on);
        },
        show: () => this.setToggle('toggle-cavities', true),
      });
    });
  }

  buildDrainHoles() {
    this.drainGroup = new THREE.Group();
    this.model.add(this.drainGroup);
    (this.data.drainHoles || []).forEach((hole, i) => {
      const entry = new THREE.Vector3(...hole.entry);
      const exit = new THREE.Vector3(...hole.exit);
      const length = Math.max(entry.distanceTo(exit), 1e-3);
      const radius = Math.max(hole.diameter / 2, this.partSphere.radius * 0.004);
      const drill = new THREE.Mesh(new THREE.CylinderGeometry(radius, radius, length, 16),
        new THREE.MeshLambertMaterial({ color: DRAIN_COLOUR, transparent: true, opacity: 0.8 }));
      drill.position.copy(entry).add(exit).multiplyScalar(0.5);
      drill.quaternion.setFromUnitVectors(new THREE.Vector3(0, 1, 0), exit.clone().sub(entry).normalize());
      // The marker sits where the drill starts, on the part's surface, so it shows without see-through.
      const marker = new THREE.Mesh(new THREE.SphereGeometry(radius * 1.8, 16, 8), new THREE.MeshBasicMaterial({ color: DRAIN_COLOUR }));
      marker.position.copy(exit);
      this.drainGroup.add(drill, marker);
      const box = new THREE.Box3().setFromPoints([entry, exit]).expandByScalar(radius * 4);
      this.items.set('drain-' + (i + 1), {
        box,
        highlight: (on) => { marker.material.color.setHex(on ? HIGHLIGHT : DRAIN_COLOUR); },
        show: () => this.setToggle('toggle-drain', true),
      });
    });
  }

  /// Suction cups of the check (bottom-up resin): a ring at each cup's top as printed, drawn while the part
  /// stands in the direction the check judged.
  buildSuctionCups(check) {
    this.suctionGroup = new THREE.Group();
    this.model.add(this.suctionGroup);
    const labelLayer = document.getElementById('labels');
    const radius = this.partSphere.radius * 0.06;
    for (const finding of check?.findings || []) {
      if (finding.code !== 'suction_cup' || !Array.isArray(finding.where)) continue;
      const ring = new THREE.Mesh(new THREE.TorusGeometry(radius, radius * 0.2, 8, 24),
        new THREE.MeshLambertMaterial({ color: SUCTION_COLOUR }));
      ring.position.set(...finding.where);
      ring.quaternion.setFromUnitVectors(new THREE.Vector3(0, 0, 1), this.reportUp);
      this.suctionGroup.add(ring);
      const label = element('div', { className: 'label', text: 'suction cup · ' + numberFormat(finding.measure) + ' mm³' });
      label.style.borderLeftColor = hexCss(SUCTION_COLOUR);
      label.hidden = true;
      labelLayer.append(label);
      this.labels.push({ label, anchor: new THREE.Vector3(...finding.where), model: true, group: this.suctionGroup,
        priority: PRIORITY.suction });
    }
  }

  /// The orientation table's entry of the current direction, if it has one.
  currentDirection() {
    return (this.orientation?.directions || []).find((d) => sameDirection(new THREE.Vector3(...d.up_vector).normalize(), this.up));
  }

  /// What depends on the direction: overhang faces (hatched), island cones, and the suction cups, which belong
  /// to the analysed direction only.
  measureDirection() {
    for (const child of [...this.overhangGroup.children]) {
      child.geometry.dispose();
      child.material.dispose();
      this.overhangGroup.remove(child);
    }
    this.suctionGroup.visible = sameDirection(this.up, this.reportUp);
    if (!this.orientation) return;
    const faces = this.overhangFaces(this.orientation.overhang_angle ?? 45);
    this.overhangFaceCount = faces.length;
    if (faces.length > 0)
      this.overhangGroup.add(new THREE.Mesh(faceSubsetGeometry(this.positions, this.triangles, faces),
        hatched(new THREE.MeshBasicMaterial({ color: OVERHANG_COLOUR, side: THREE.DoubleSide }))));
    const size = this.partSphere.radius * 0.05;
    for (const point of this.currentDirection()?.island_points || []) {
      // Under the island, its tip on the place where the island starts: where a support would meet it.
      const cone = new THREE.Mesh(new THREE.ConeGeometry(size * 0.4, size, 12), new THREE.MeshBasicMaterial({ color: ISLAND_COLOUR }));
      cone.quaternion.setFromUnitVectors(new THREE.Vector3(0, 1, 0), this.up);
      cone.position.set(...point).addScaledVector(this.up, -size / 2);
      this.overhangGroup.add(cone);
    }
  }

  /// Faces that face down at less than `angle` degrees from the horizontal in the current direction, faces on
  /// the plate left out: the tool's rule for the support area, on the page's own copy of the mesh.
  overhangFaces(angle) {
    const p = this.positions, t = this.triangles, ux = this.up.x, uy = this.up.y, uz = this.up.z;
    const height = new Float64Array(p.length / 3);
    let lowest = Infinity;
    for (let v = 0; v < height.length; ++v) {
      height[v] = p[3 * v] * ux + p[3 * v + 1] * uy + p[3 * v + 2] * uz;
      if (height[v] < lowest) lowest = height[v];
    }
    const tolerance = 2e-6 * this.partSphere.radius;
    const cosine = Math.cos((angle * Math.PI) / 180) + 1e-9;
    const faces = new Uint32Array(t.length / 3);
    let count = 0;
    for (let f = 0; f < faces.length; ++f) {
      const a = t[3 * f], b = t[3 * f + 1], c = t[3 * f + 2];
      if (height[a] - lowest <= tolerance && height[b] - lowest <= tolerance && height[c] - lowest <= tolerance) continue;
      const e1x = p[3 * b] - p[3 * a], e1y = p[3 * b + 1] - p[3 * a + 1], e1z = p[3 * b + 2] - p[3 * a + 2];
      const e2x = p[3 * c] - p[3 * a], e2y = p[3 * c + 1] - p[3 * a + 1], e2z = p[3 * c + 2] - p[3 * a + 2];
      const nx = e1y * e2z - e1z * e2y, ny = e1z * e2x - e1x * e2z, nz = e1x * e2y - e1y * e2x;
      const length = Math.hypot(nx, ny, nz);
      if (length > 0 && -(nx * ux + ny * uy + nz * uz) > cosine * length) faces[count++] = f;
    }
    return faces.subarray(0, count);
  }

  /// Stands the part in another build direction (model coordinates): the plate, overhangs, islands and
  /// section follow, and the camera frames the part again.
  setUp(vector) {
    this.up = new THREE.Vector3(...vector).normalize();
    this.placeOnPlate();
    this.fillPlate();
    this.measureDirection();
    this.setSection(this.sectionFraction);
    this.resetView();
    document.body.dataset.up = this.directionName();
  }

  /// The current direction as the table writes it, or its components.
  directionName() {
    return this.currentDirection()?.up ?? this.up.toArray().map((c) => Number(c.toFixed(4))).join(',');
  }

  /// Everything higher on the plate than `fraction` of the part's height is cut away (1: nothing is).
  setSection(fraction) {
    this.sectionFraction = fraction;
    if (fraction >= 1) {
      this.sectionHeight = null;
      this.renderer.clippingPlanes = [];
    } else {
      this.sectionHeight = this.partBox.min.y + fraction * (this.partBox.max.y - this.partBox.min.y);
      this.sectionPlane.constant = this.sectionHeight;
      this.renderer.clippingPlanes = [this.sectionPlane];
    }
    this.requestRender();
  }

  /// The build plate: a grid at height 0 under the turned part, and an arrow along the build direction.
  buildPlate() {
    this.plateGroup = new THREE.Group();
    this.scene.add(this.plateGroup);
    this.plateLabel = element('div', { className: 'label' });
    document.getElementById('labels').append(this.plateLabel);
    this.plateAnchor = new THREE.Vector3();
    this.labels.push({ label: this.plateLabel, anchor: this.plateAnchor, group: this.plateGroup, priority: PRIORITY.plate });
    this.fillPlate();
  }

  fillPlate() {
    for (const child of [...this.plateGroup.children]) this.plateGroup.remove(child);
    const extent = Math.max(this.partSphere.radius * 2.4, 1e-3);
    const cell = Math.pow(10, Math.floor(Math.log10(extent / 4)));
    const size = Math.ceil(extent / cell) * cell;
    const grid = new THREE.GridHelper(size, Math.round(size / cell), 0x8a949e, 0xc3c9cf);
    this.plateGroup.add(grid);
    const arrowLength = Math.max(this.partSphere.radius * 0.9, 1e-3);
    const foot = new THREE.Vector3(-size * 0.45, 0, 0);
    this.plateGroup.add(new THREE.ArrowHelper(WORLD_UP, foot, arrowLength, 0x30363d, arrowLength * 0.18, arrowLength * 0.09));
    this.plateLabel.textContent = 'up (build direction ' + pointText(this.up.toArray()) + ')';
    this.plateAnchor.copy(foot).addScaledVector(WORLD_UP, arrowLength * 1.05);
  }

  // ------------------------------------------------------------ camera

  resize() {
    const width = Math.max(this.container.clientWidth, 1);
    const height = Math.max(this.container.clientHeight, 1);
    if (width === this.width && height === this.height) return;
    this.width = width;
    this.height = height;
    this.renderer.setSize(width, height, false);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
    // Resizing clears the canvas: draw again at once rather than leave it blank until the next frame.
    if (this.controls) this.renderNow();
  }

  /// Camera placement that shows the sphere whole, looking along `direction` (towards the target).
  framing(center, radius, direction) {
    const halfFov = THREE.MathUtils.degToRad(this.camera.fov / 2);
    const fitHeight = radius / Math.sin(halfFov);
    const fitWidth = radius / Math.sin(Math.atan(Math.tan(halfFov) * this.camera.aspect));
    const distance = Math.max(fitHeight, fitWidth) * 1.1;
    return { target: center.clone(), position: center.clone().addScaledVector(direction, -distance), radius, distance };
  }

  applyFraming(frame) {
    this.camera.near = Math.max(frame.distance - frame.radius * 4, frame.distance / 1000);
    this.camera.far = frame.distance + this.partSphere.radius * 8 + frame.radius * 4;
    this.camera.near = Math.min(this.camera.near, this.camera.far / 1000 + 1e-3);
    this.camera.updateProjectionMatrix();
    this.camera.position.copy(frame.position);
    this.controls.target.copy(frame.target);
    this.controls.update();
    this.requestRender();
  }

  /// The first view: from the front, a little to the right and above the plate.
  resetView() {
    const look = new THREE.Vector3(-0.7, -0.6, -1).normalize();
    this.applyFraming(this.framing(this.partSphere.center, this.partSphere.radius, look));
  }

  /// Flies to a place of the part (model coordinates, mm), framing a quarter of the part around it; the
  /// page's body then carries `key` as its selection.
  flyToPoint(point, key) {
    const direction = this.controls.target.clone().sub(this.camera.position).normalize();
    delete document.body.dataset.selected;
    this.flyTo(this.framing(this.toScene(point), this.partSphere.radius * 0.25, direction),
      () => { document.body.dataset.selected = key; });
  }

  fitPart() {
    const direction = this.controls.target.clone().sub(this.camera.position).normalize();
    this.flyTo(this.framing(this.partSphere.center, this.partSphere.radius, direction));
  }

  flyTo(frame, done) {
    const fromPosition = this.camera.position.clone();
    const fromTarget = this.controls.target.clone();
    const start = performance.now();
    document.body.dataset.camera = 'moving';
    this.camera.near = Math.min(this.camera.near, Math.max(frame.distance - frame.radius * 4, frame.distance / 1000));
    this.camera.updateProjectionMatrix();
    const step = (now) => {
      const t = Math.min((now - start) / this.flyMilliseconds, 1);
      const ease = t * t * (3 - 2 * t);
      this.camera.position.lerpVectors(fromPosition, frame.position, ease);
      this.controls.target.lerpVectors(fromTarget, frame.target, ease);
      this.controls.update();
      this.renderNow();
      if (t < 1) requestAnimationFrame(step);
      else {
        this.applyFraming(frame);
        document.body.dataset.camera = 'still';
        if (done) done();
      }
    };
    requestAnimationFrame(step);
  }

  /// Selects a table item (its box in model coordinates): shows its layer, highlights it and flies the camera to it.
  select(key) {
    const item = this.items.get(key);
    if (!item) return;
    if (this.selected) this.items.get(this.selected).highlight(false);
    this.selected = key;
    item.show();
    item.highlight(true);
    document.querySelectorAll('tbody tr.selected').forEach((row) => row.classList.remove('selected'));
    const row = document.querySelector('tr[data-item="' + key + '"]');
    if (row) row.classList.add('selected');
    const sphere = this.boxToScene(item.box).getBoundingSphere(new THREE.Sphere());
    const radius = Math.max(sphere.radius * 1.6, this.partSphere.radius * 0.08);
    const direction = this.controls.target.clone().sub(this.camera.position).normalize();
    delete document.body.dataset.selected;
    this.flyTo(this.framing(sphere.center, radius, direction), () => { document.body.dataset.selected = key; });
  }

  setToggle(id, on) {
    const box = document.getElementById(id);
    if (box && box.checked !== on) {
      box.checked = on;
      box.dispatchEvent(new Event('change'));
    }
  }

  setThicknessColours(on) {
    this.partMaterial.vertexColors = on && this.hasColours;
    this.partMaterial.color.setHex(this.partMaterial.vertexColors ? 0xffffff : NEUTRAL_PART);
    this.partMaterial.needsUpdate = true;
    this.requestRender();
  }

  /// Cavities sit inside the part: showing them makes the part see-through.
  setCavitiesVisible(on) {
    this.cavityGroup.visible = on;
    this.partMaterial.transparent = on;
    this.partMaterial.opacity = on ? 0.28 : 1;
    this.partMaterial.depthWrite = !on;
    this.partMaterial.needsUpdate = true;
    this.requestRender();
  }

  // ------------------------------------------------------------ drawing

  requestRender() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => { this.pending = false; this.renderNow(); });
  }

  renderNow() {
    this.headlight.position.copy(this.camera.position);
    this.headlight.target.position.copy(this.controls ? this.controls.target : this.partSphere.center);
    this.renderer.render(this.scene, this.camera);
    this.placeLabels();
  }

  /// Labels over their anchors; where two would overlap, the lower one on screen moves up above the other.
  placeLabels() {
    const width = this.container.clientWidth, height = this.container.clientHeight;
    const projected = new THREE.Vector3();
    const shown = [];
    for (const { label, anchor, model, group, priority } of this.labels) {
      projected.copy(anchor);
      if (model) this.model.localToWorld(projected);
      const cut = model && this.sectionHeight !== null && projected.y > this.sectionHeight;
      projected.project(this.camera);
      const visible = group.visible && !cut && projected.z < 1 && Math.abs(projected.x) <= 1.1 && Math.abs(projected.y) <= 1.1;
      label.hidden = !visible;
      if (visible) shown.push({ label, priority, x: ((projected.x + 1) / 2) * width, y: ((1 - projected.y) / 2) * height });
    }
    // The stylesheet draws a label centred over its point and 1.2 of its heights above it. Higher priorities
    // keep their places; a label pushed off the top of the view hides.
    shown.sort((a, b) => b.priority - a.priority || a.y - b.y);
    const placed = [];
    for (const item of shown) {
      const w = item.label.offsetWidth, h = item.label.offsetHeight;
      const box = { left: item.x - w / 2, right: item.x + w / 2, bottom: item.y - 0.2 * h };
      let shifted = false;
      for (let moved = true; moved;) {
        moved = false;
        for (const other of placed) {
          const overlaps = box.left < other.right && other.left < box.right && box.bottom > other.bottom - other.height &&
            box.bottom - h < other.bottom;
          if (overlaps) {
            box.bottom = other.bottom - other.height - 2;
            moved = shifted = true;
          }
        }
      }
      if (shifted && box.bottom - h < 0) {
        item.label.hidden = true;
        continue;
      }
      placed.push({ ...box, height: h });
      item.label.style.left = item.x + 'px';
      item.label.style.top = box.bottom + 0.2 * h + 'px';
    }
  }
}

/// "Closed-1": the tool's numbers, which keep gaps where --min-cavity left tiny cavities out.
function cavityName(info, index) {
  return (info.name || 'Cavity') + '-' + (info.number ?? index + 1);
}

// ---------------------------------------------------------------- the panel

function fact(list, term, value) {
  list.append(element('dt', { text: term }), element('dd', { text: value }));
}

function fillSummary(summary, scene) {
  const list = document.getElementById('summary-list');
  const warnings = document.getElementById('warnings');
  const info = summary.info;
  fact(list, 'mesh', String(summary.mesh ?? scene.title ?? '—'));
  fact(list, 'triangles', numberFormat(summary.triangles, 12));
  fact(list, 'vertices', numberFormat(summary.vertices, 12));
  if (info) {
    const [lo, hi] = info.bounds || [[0, 0, 0], [0, 0, 0]];
    fact(list, 'size', hi.map((h, k) => numberFormat(h - lo[k])).join(' × ') + ' mm');
    fact(list, 'watertight', info.watertight ? 'yes' : 'no');
    fact(list, 'edges', numberFormat(info.border_edges, 12) + ' border, ' + numberFormat(info.nonmanifold_edges, 12) +
      ' non-manifold, ' + numberFormat(info.bad_edges, 12) + ' badly wound');
    fact(list, 'volume', numberFormat(info.volume) + ' mm³ (' + numberFormat(info.volume / 1000) + ' ml)');
    if (info.inside_out) fact(list, 'inside out', 'yes: the volume is negative, the faces are wound inside out');
    fact(list, 'area', numberFormat(info.area) + ' mm²');
  } else {
    fact(list, 'mesh health', 'not analysed');
  }
  const thickness = summary.thickness;
  if (thickness) {
    fact(list, 'thickness window', numberFormat(thickness.min) + ' to ' + numberFormat(thickness.max) + ' mm');
    const thinnest = thinnestWall(summary);
    fact(list, 'thinnest wall', thinnest === null ? 'none thinner than ' + numberFormat(thickness.max) + ' mm' : numberFormat(thinnest) + ' mm');
  } else {
    fact(list, 'thinnest wall', 'not analysed');
  }
  const trapped = summary.trapped;
  if (trapped) {
    const count = (trapped.cavities || []).length;
    fact(list, 'trapped volume', numberFormat(trapped.trapped_volume) + ' mm³ in ' + count + (count === 1 ? ' cavity' : ' cavities') +
      ' (up ' + (trapped.up ?? pointText(scene.up)) + ')');
    const tiny = trapped.tiny_cavities;
    if (tiny && tiny.count > 0)
      fact(list, 'tiny cavities', numberFormat(tiny.count, 12) + ' below ' + numberFormat(trapped.min_cavity) + ' mm³, ' +
        numberFormat(tiny.volume) + ' mm³ in all (not listed)');
  } else {
    fact(list, 'trapped volume', 'not analysed');
  }
  if (Array.isArray(summary.warnings)) {
    const count = summary.warnings.length;
    fact(list, 'mesh checks', count === 0 ? 'no problems found' : count + (count === 1 ? ' warning' : ' warnings') + ', below');
  }
  for (const warning of summary.warnings || [])
    warnings.append(element('li', { text: warning.text || warning.message || warning.code || JSON.stringify(warning) }));
}

/// The verdict of a check (report --printer/--profile): a banner, and one row per finding whose click calls
/// flyTo(where, key) for the finding's place.
function fillVerdict(summary, flyTo) {
  const check = summary.check;
  if (!check) return;
  const counts = check.counts || {};
  const banner = document.getElementById('verdict');
  banner.className = 'verdict ' + check.verdict;
  banner.textContent = String(check.verdict).toUpperCase() + ' for ' + (check.profile?.name ?? 'the process') + ': ' +
    (counts.fail ?? 0) + ' failing, ' + (counts.warn ?? 0) + ' warning, ' + (counts.info ?? 0) + ' notes';
  const findings = check.findings || [];
  const fly = (key) => {
    const finding = findings[Number(key.slice('finding-'.length)) - 1];
    document.querySelectorAll('#finding-table tbody tr.selected').forEach((row) => row.classList.remove('selected'));
    document.querySelector('tr[data-item="' + key + '"]')?.classList.add('selected');
    if (Array.isArray(finding?.where)) flyTo(finding.where, key);
  };
  const rows = findings.map((finding, i) => {
    const severity = element('span', { text: finding.severity });
    return {
      key: 'finding-' + (i + 1),
      cells: [[severity], [finding.code], [finding.message + (finding.fix ? ' — fix: ' + finding.fix : '')],
        [Array.isArray(finding.where) ? pointText(finding.where) : '—']],
    };
  });
  const container = document.getElementById('finding-table');
  if (rows.length === 0) notAnalysed(container, 'No findings: the part suits this process.');
  else {
    container.replaceChildren(table([['severity'], ['code'], ['finding'], ['place (mm)']], rows, fly));
    container.querySelectorAll('tbody tr').forEach((row, i) => row.firstChild.classList.add(findings[i].severity));
  }
  document.getElementById('verdict-section').hidden = false;
}

/// The thinnest wall: the tool's figure when it gives one, else the smallest of the thin areas.
function thinnestWall(summary) {
  const thickness = summary.thickness;
  if (thickness.thinnest && thickness.thinnest.found === false) return null;
  if (thickness.thinnest && Number.isFinite(thickness.thinnest.thickness)) return thickness.thinnest.thickness;
  const areas = summary.thin_areas || [];
  const values = areas.map((a) => a.min_thickness).filter(Number.isFinite);
  return values.length ? Math.min(...values) : null;
}

function fillHistogram(summary, legend) {
  const container = document.getElementById('histogram');
  const thickness = summary.thickness;
  if (!thickness || !Array.isArray(thickness.histogram)) return notAnalysed(container, 'Wall thickness was not analysed.');
  const bins = thickness.histogram.map((bin, i) => ({
    label: i === 0 ? '≤ ' + numberFormat(bin.to) : numberFormat(bin.from),
    faces: bin.faces,
    rgb: legend ? legendColour(legend, i === 0 ? bin.to : (bin.from + bin.to) / 2) : [120, 130, 140],
  }));
  bins.push({ label: '≥ ' + numberFormat(thickness.max), faces: thickness.faces_at_max ?? 0, rgb: legend ? legend.noWallRgb : [200, 200, 200] });
  const width = 380, height = 170, left = 8, bottom = 34, top = 14;
  const barWidth = (width - 2 * left) / bins.length;
  const most = Math.max(1, ...bins.map((b) => b.faces));
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);
  svg.setAttribute('role', 'img');
  svg.setAttribute('aria-label', 'Faces per thickness range, mm');
  bins.forEach((bin, i) => {
    // Square-root heights keep small bins visible next to the large "no wall within max" bin.
    const h = bin.faces > 0 ? Math.max(1, Math.sqrt(bin.faces / most) * (height - bottom - top)) : 0;
    const x = left + i * barWidth;
    const rect = document.createElementNS(ns, 'rect');
    rect.setAttribute('x', x + 1);
    rect.setAttribute('y', height - bottom - h);
    rect.setAttribute('width', barWidth - 2);
    rect.setAttribute('height', h);
    rect.setAttribute('fill', rgbCss(bin.rgb));
    rect.setAttribute('stroke', '#0003');
    const title = document.createElementNS(ns, 'title');
    title.textContent = bin.label + ' mm: ' + bin.faces + ' faces';
    rect.append(title);
    const count = document.createElementNS(ns, 'text');
    count.setAttribute('x', x + barWidth / 2);
    count.setAttribute('y', height - bottom - h - 3);
    count.setAttribute('text-anchor', 'middle');
    count.textContent = bin.faces;
    const label = document.createElementNS(ns, 'text');
    label.setAttribute('transform', 'translate(' + (x + barWidth / 2 + 3) + ',' + (height - bottom + 4) + ') rotate(60)');
    label.textContent = bin.label;
    svg.append(rect, count, label);
  });
  container.replaceChildren(svg, element('p', {
    className: 'not-analysed',
    text: 'Faces per thickness (mm, bars on a square-root scale); ' + (thickness.thin_faces ?? thickness.selected_faces ?? '—') +
      ' faces are thinner than ' + numberFormat(thickness.max) + ' mm, ' + (thickness.window_faces ?? thickness.selected_faces ?? '—') +
      ' of them strictly inside the window.',
  }));
}

function table(headers, rows, onClick) {
  const head = element('thead', {}, [element('tr', {}, headers.map(([text, numeric]) => element('th', { text, className: numeric ? 'num' : '' })))]);
  const body = element('tbody');
  for (const row of rows) {
    const tr = element('tr', { 'data-item': row.key, tabindex: '0' }, row.cells.map(([value, numeric]) => {
      const td = element('td', { className: numeric ? 'num' : '' });
      td.append(value);
      return td;
    }));
    tr.addEventListener('click', () => onClick(row.key));
    tr.addEventListener('keydown', (event) => { if (event.key === 'Enter') onClick(row.key); });
    body.append(tr);
  }
  return element('table', {}, [head, body]);
}

function sizeText(bounds) {
  if (!Array.isArray(bounds)) return '—';
  return bounds[1].map((h, k) => numberFormat(h - bounds[0][k], 4)).join(' × ');
}

function locationOf(info, box) {
  if (Array.isArray(info.centroid)) return pointText(info.centroid);
  if (box && !box.isEmpty()) return pointText(box.getCenter(new THREE.Vector3()).toArray());
  return '—';
}

function fillTables(scene, view) {
  const select = (key) => view.select(key);
  const thin = document.getElementById('thin-table');
  if (!scene.thinAreas) notAnalysed(thin, 'Thin areas were not analysed.');
  else if (scene.thinAreas.length === 0) notAnalysed(thin, 'No thin areas: no wall is thinner than the window.');
  else
    thin.replaceChildren(table([['#'], ['faces', true], ['area mm²', true], ['min mm', true], ['location (mm)']],
      scene.thinAreas.map((area, i) => {
        const info = area.info || {};
        return {
          key: 'thin-' + (i + 1),
          cells: [[String(info.id ?? i + 1)], [numberFormat(info.faces ?? area.faces.length, 12), true], [numberFormat(info.area), true],
            [numberFormat(info.min_thickness), true], [locationOf(info, view.items.get('thin-' + (i + 1)).box)]],
        };
      }), select));

  const cavities = document.getElementById('cavity-table');
  if (!scene.cavities) notAnalysed(cavities, 'Trapped volumes were not analysed.');
  else if (scene.cavities.length === 0) notAnalysed(cavities, 'No trapped volume: every cavity drains in this build direction.');
  else
    cavities.replaceChildren(table([['cavity'], ['volume mm³', true], ['centre (mm)'], ['size mm'], ['lowest point (mm)']],
      scene.cavities.map((cavity, i) => {
        const info = cavity.info || {};
        const swatch = element('span', { className: 'swatch' });
        swatch.style.background = hexCss(CAVITY_COLOURS[i % CAVITY_COLOURS.length]);
        const name = element('span', {}, [swatch, ' ' + cavityName(info, i)]);
        return {
          key: 'cavity-' + (i + 1),
          cells: [[name], [numberFormat(info.volume), true], [locationOf(info, view.items.get('cavity-' + (i + 1)).box)],
            [sizeText(info.bounds)], [pointText(info.lowest_point)]],
        };
      }), select));

  const drains = document.getElementById('drain-table');
  if (!scene.drainHoles) notAnalysed(drains, 'Drain holes were not requested.');
  else if (scene.drainHoles.length === 0) notAnalysed(drains, 'No drain hole needed.');
  else
    drains.replaceChildren(table([['#'], ['cavity'], ['Ø mm', true], ['length mm', true], ['drill at (mm)'], ['from outside']],
      scene.drainHoles.map((hole, i) => {
        const info = hole.info || {};
        return {
          key: 'drain-' + (i + 1),
          cells: [[String(i + 1)], [String(info.cavity ?? '—') + (info.kind ? ' ' + info.kind : '')], [numberFormat(hole.diameter), true],
            [numberFormat(info.length ?? Math.hypot(...hole.exit.map((e, k) => e - hole.entry[k]))), true], [pointText(hole.exit)],
            [info.reachable === undefined ? '—' : info.reachable ? 'yes' : 'no: the part is in the way']],
        };
      }), select));
}

/// The ranking of build directions, best first: one row per direction whose click stands the part in it.
function fillOrientation(orientation, view) {
  const container = document.getElementById('orientation-table');
  const why = document.getElementById('orientation-why');
  if (!orientation) {
    why.textContent = '';
    return notAnalysed(container, 'Build directions were not ranked.');
  }
  const columns = [['trapped mm³', 'estimated_volume'], ['sealed mm³', 'sealed_volume'], ['supports mm²', 'overhang_area'],
    ['islands', 'islands'], ['height mm', 'build_height'], ['footprint mm²', 'footprint']];
  const directions = orientation.directions;
  const markCurrent = () => {
    const current = view.currentDirection();
    container.querySelectorAll('tbody tr').forEach((row, i) => row.classList.toggle('current', directions[i] === current));
  };
  const turn = (key) => {
    view.setUp(directions[Number(key.slice('up-'.length)) - 1].up_vector);
    markCurrent();
  };
  container.replaceChildren(table([['#'], ['--up'], ...columns.map(([head]) => [head, true])],
    directions.map((d, i) => ({
      key: 'up-' + (i + 1),
      cells: [[String(i + 1)], [d.up], ...columns.map(([, key]) => [numberFormat(d[key]), true])],
    })), turn));
  const heads = container.querySelectorAll('thead th');
  columns.forEach(([, key], i) => {
    if ((orientation.ranking || []).includes(key)) heads[i + 2].classList.add('decides');
  });
  why.textContent = 'Best first' + (orientation.process ? ' for ' + orientation.process : '') + ' by the underlined figures; best --up ' +
    orientation.best_up + (orientation.why_best ? ' (' + orientation.why_best + ')' : '') + '. Hatched faces need support (below ' +
    numberFormat(orientation.overhang_angle) + '°), dark cones point at islands. Click a row to stand the part that way.';
  markCurrent();
}

function fillLegend(legend) {
  const box = document.getElementById('legend');
  const stops = legend.stops;
  const lo = stops[0].thickness, hi = stops[stops.length - 1].thickness;
  const span = hi > lo ? hi - lo : 1;
  // Hard stops: the tool's colours change in steps, and each stop holds its colour up to the next one.
  const gradient = [];
  stops.forEach((stop, i) => {
    const from = ((stop.thickness - lo) / span) * 100;
    const to = i + 1 < stops.length ? ((stops[i + 1].thickness - lo) / span) * 100 : 100;
    gradient.push(rgbCss(stop.rgb) + ' ' + from.toFixed(2) + '%', rgbCss(stop.rgb) + ' ' + to.toFixed(2) + '%');
  });
  const bar = element('div', { className: 'bar' });
  bar.style.background = 'linear-gradient(to right, ' + gradient.join(', ') + ')';
  const ticks = element('div', { className: 'ticks' }, [0, 0.25, 0.5, 0.75, 1].map((t) => {
    const span_ = element('span', { text: numberFormat(lo + t * (hi - lo)) });
    span_.style.left = t * 100 + '%';
    return span_;
  }));
  const swatch = element('span', { className: 'swatch' });
  swatch.style.background = rgbCss(legend.noWallRgb);
  box.replaceChildren(element('div', { text: 'Wall thickness, mm' }), bar, ticks,
    element('div', { className: 'nowall' }, [swatch, 'no wall within ' + numberFormat(hi) + ' mm']));
  box.hidden = false;
}

function wireToolbar(view, scene) {
  const on = (id, handler) => document.getElementById(id).addEventListener('change', (event) => handler(event.target.checked));
  const disable = (id, why) => {
    const box = document.getElementById(id);
    box.checked = false;
    box.disabled = true;
    box.parentElement.classList.add('disabled');
    box.parentElement.title = why;
  };
  document.getElementById('reset-view').addEventListener('click', () => view.resetView());
  document.getElementById('fit-part').addEventListener('click', () => view.fitPart());
  on('toggle-thickness', (checked) => {
    view.setThicknessColours(checked);
    document.getElementById('legend').hidden = !(checked && scene.legend);
  });
  on('toggle-thin', (checked) => { view.thinGroup.visible = checked; view.requestRender(); });
  on('toggle-cavities', (checked) => view.setCavitiesVisible(checked));
  // Cavities show from the start where there are any: the part is drawn see-through around them.
  on('toggle-drain', (checked) => { view.drainGroup.visible = checked; view.requestRender(); });
  on('toggle-plate', (checked) => { view.plateGroup.visible = checked; view.requestRender(); });
  on('toggle-overhang', (checked) => { view.overhangGroup.visible = checked; view.requestRender(); });
  document.getElementById('section').addEventListener('input', (event) => view.setSection(Number(event.target.value) / 1000));
  if (!view.orientation) disable('toggle-overhang', 'Build directions were not ranked');
  if (!view.hasColours) disable('toggle-thickness', 'Wall thickness was not analysed');
  if (!scene.thinAreas || scene.thinAreas.length === 0) disable('toggle-thin', 'No thin areas');
  if (!scene.cavities || scene.cavities.length === 0) disable('toggle-cavities', 'No cavities');
  if (!scene.drainHoles || scene.drainHoles.length === 0) disable('toggle-drain', 'No drain holes');
  view.setCavitiesVisible(document.getElementById('toggle-cavities').checked);
}

export function start() {
  const started = performance.now();
  const summary = readJson('report-summary');
  const scene = readJson('report-scene');
  if (scene.format !== 1) throw new Error('unknown report format ' + scene.format);
  const bytes = decodeBinary(scene.binaryBytes);
  const decoded = performance.now();

  fillSummary(summary, scene);
  // The verdict comes before the 3D view, so that it shows even where WebGL does not start.
  let view = null;
  fillVerdict(summary, (point, key) => view?.flyToPoint(point, key));
  view = new ReportView(document.getElementById('viewport'), scene, bytes, summary);
  fillHistogram(summary, scene.legend);
  fillTables(scene, view);
  fillOrientation(summary.orientation, view);
  document.body.dataset.up = view.directionName();
  if (scene.legend && view.hasColours) fillLegend(scene.legend);
  wireToolbar(view, scene);
  view.renderNow();
  // Say ready once the first frame is on screen, not merely queued.
  requestAnimationFrame(() => {
    const ready = performance.now();
    window.meshprobeReport = {
      summary, scene, view,
      timings: { decodeMs: decoded - started, buildMs: ready - decoded, readyMs: ready },
    };
    document.getElementById('status').textContent =
      numberFormat(summary.triangles ?? view.triangles.length / 3, 12) + ' triangles · ready in ' + (ready / 1000).toFixed(1) + ' s';
    document.body.dataset.ready = 'true';
  });
}
