// The venue's MQTT interface as the page uses it: every topic under one root, and the desk's own
// user. The C++ side says the same (VenueTopics, VenueFolder::kDeskUser); the tests' sample
// payloads (tests/venue/payloads/interface.json) hold both sides to it.

export const ROOT = 'nerq/v1/';
// The desk's main sign-in, from console.conf: the page never keeps its password.
export const DESK_USER = 'desk';

export const topics = {
  status: (station) => `${ROOT}stations/${station}/status`,
  results: (station) => `${ROOT}stations/${station}/results`,
  commands: (station) => `${ROOT}stations/${station}/commands`,
  catalogue: () => `${ROOT}catalogue`,
  picture: (sha) => `${ROOT}pictures/${sha}`,
  today: () => `${ROOT}reports/today`,
  // "Open the venue": the page asks, the recorder on the desk PC sends the magic packets and answers.
  wake: () => `${ROOT}wake`,
  wakeAnswer: () => `${ROOT}reports/wake`,
};
