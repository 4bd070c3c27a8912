// The desk PC's wall clock set `offsetMs` off, in the page: an init script for the browser
// context (context.addInitScript(deskClockOff, offsetMs)). Date moves; performance.now() does not.
export function deskClockOff(offsetMs) {
  const RealDate = window.Date;
  window.Date = class extends RealDate {
    constructor(...args) {
      super(...(args.length ? args : [RealDate.now() + offsetMs]));
    }

    static now() {
      return RealDate.now() + offsetMs;
    }
  };
}
