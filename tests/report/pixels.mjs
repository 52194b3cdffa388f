// SPDX-License-Identifier: MIT
// Screenshots judged by content: the share of the 3D view's pixels in given colour classes. The PNG is
// decoded by the page's own browser (createImageBitmap), so no image library is needed.

/// Screenshot of the 3D view, classified pixel by pixel. Returns fractions of the view's pixels.
export async function viewColours(page) {
  // Let any queued frame reach the screen first.
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  const clip = await page.evaluate(() => {
    const r = document.getElementById('viewport').getBoundingClientRect();
    return { x: Math.ceil(r.x), y: Math.ceil(r.y) + 70, width: Math.floor(r.width), height: Math.floor(r.height) - 70 };
  });
  const png = await page.screenshot({ clip, encoding: 'base64' });
  return page.evaluate(async (data) => {
    const blob = await (await fetch('data:image/png;base64,' + data)).blob();
    const bitmap = await createImageBitmap(blob);
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const counts = { thickness: 0, thin: 0, noWall: 0, cavity: 0, highlight: 0, drain: 0, total: bitmap.width * bitmap.height };
    for (let i = 0; i < pixels.length; i += 4) {
      const r = pixels[i], g = pixels[i + 1], b = pixels[i + 2];
      const max = Math.max(r, g, b), min = Math.min(r, g, b), chroma = max - min;
      // The no-wall grey of faces at max, shaded by the lights (the background is far lighter).
      if (chroma < 12 && max >= 40 && max <= 200) ++counts.noWall;
      if (chroma < 40) continue; // greys: background, grid, labels
      let hue;
      if (max === r) hue = (60 * (g - b)) / chroma;
      else if (max === g) hue = 60 * ((b - r) / chroma + 2);
      else hue = 60 * ((r - g) / chroma + 4);
      if (hue < 0) hue += 360;
      // The tool's thickness colours are fully saturated hues 0 (red) to 150, shaded by the lights.
      const saturated = min <= 0.2 * max && max >= 80;
      if (saturated && hue <= 160) {
        ++counts.thickness;
        if (hue <= 40) ++counts.thin;
      }
      if (saturated && hue >= 180 && hue <= 192) ++counts.highlight;
      // Drain and vent holes: the teal between the scale's greens and the highlight.
      if (saturated && hue > 163 && hue < 178) ++counts.drain;
      if (hue >= 200 && hue <= 340 && chroma >= 60) ++counts.cavity;
    }
    const fractions = {};
    for (const key of ['thickness', 'thin', 'noWall', 'cavity', 'highlight', 'drain']) fractions[key] = counts[key] / counts.total;
    return fractions;
  }, png);
}
