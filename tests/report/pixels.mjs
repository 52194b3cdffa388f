// SPDX-License-Identifier: MIT
// Screenshots judged by content: the share of the 3D view's pixels in given colour classes. The PNG is
// decoded by the page's own browser (createImageBitmap), so no image library is needed.

/// The 3D view's pixels in each class, as fractions (the page brought to the front: one behind gets no frames).
export async function viewColours(page) {
  await page.bringToFront();
  // Let any queued frame reach the screen first.
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  const r = await page.evaluate(() => document.getElementById('viewport').getBoundingClientRect().toJSON());
  const clip = { x: Math.ceil(r.x), y: Math.ceil(r.y) + 70, width: Math.floor(r.width), height: Math.floor(r.height) - 70 };
  const png = await page.screenshot({ clip, encoding: 'base64' });
  return page.evaluate(async (data) => {
    const bitmap = await createImageBitmap(await (await fetch('data:image/png;base64,' + data)).blob());
    const context = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data, total = bitmap.width * bitmap.height;
    const share = { thickness: 0, thin: 0, noWall: 0, cavity: 0, highlight: 0, drain: 0 };
    for (let i = 0; i < pixels.length; i += 4) {
      const r = pixels[i], g = pixels[i + 1], b = pixels[i + 2];
      const max = Math.max(r, g, b), min = Math.min(r, g, b), chroma = max - min;
      // The no-wall grey of faces at max, shaded by the lights (the background is far lighter).
      if (chroma < 12 && max >= 40 && max <= 200) share.noWall += 1 / total;
      if (chroma < 40) continue; // greys: background, grid, labels
      const hue = (360 + (max === r ? (60 * (g - b)) / chroma : max === g ? 60 * ((b - r) / chroma + 2) : 60 * ((r - g) / chroma + 4))) % 360;
      // Thickness: saturated hues 0 (red) to 150; drain holes: the teal between the greens and the highlight's cyan.
      const saturated = min <= 0.2 * max && max >= 80;
      if (saturated && hue <= 160) share.thickness += 1 / total;
      if (saturated && hue <= 40) share.thin += 1 / total;
      if (saturated && hue >= 180 && hue <= 192) share.highlight += 1 / total;
      if (saturated && hue > 163 && hue < 178) share.drain += 1 / total;
      if (hue >= 200 && hue <= 340 && chroma >= 60) share.cavity += 1 / total;
    }
    return share;
  }, png);
}
