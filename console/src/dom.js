// The few DOM helpers the view's modules share. Text goes in through textContent, never as markup.
export const $ = (id) => document.getElementById(id);

export function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function show(node, visible) {
  node.hidden = !visible;
}

// A picture that says nothing to a screen reader: the name beside it does.
export function image(url) {
  const img = el('img');
  img.src = url;
  img.alt = '';
  return img;
}
