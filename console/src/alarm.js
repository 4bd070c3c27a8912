// The help call's tone, through Web Audio: a rising two-note chime, loud enough across a venue.
// Browsers let a page sound only after someone touched it; the first tap or key unlocks it.
export class Alarm {
  constructor() {
    this.context = null;
    const unlock = () => this.ensure()?.resume?.();
    for (const type of ['pointerdown', 'keydown']) window.addEventListener(type, unlock, { capture: true });
  }

  ensure() {
    const Context = window.AudioContext ?? window.webkitAudioContext;
    if (!this.context && Context) this.context = new Context();
    return this.context;
  }

  // One tone: a single oscillator that steps from the first note to the second.
  sound() {
    const context = this.ensure();
    if (!context) return;
    const now = context.currentTime;
    const oscillator = context.createOscillator();
    const gain = context.createGain();
    oscillator.type = 'triangle';
    oscillator.frequency.setValueAtTime(660, now);
    oscillator.frequency.setValueAtTime(990, now + 0.25);
    gain.gain.setValueAtTime(0.0001, now);
    gain.gain.exponentialRampToValueAtTime(0.6, now + 0.03);
    gain.gain.setValueAtTime(0.6, now + 0.45);
    gain.gain.exponentialRampToValueAtTime(0.0001, now + 0.6);
    oscillator.connect(gain).connect(context.destination);
    oscillator.start(now);
    oscillator.stop(now + 0.62);
  }
}
