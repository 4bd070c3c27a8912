// The page's one MQTT connection to the venue's broker (MQTT 5 over websockets): signs in,
// keeps the subscriptions, reconnects by itself and says what happened through onState.
import mqtt from 'mqtt';
import { topics } from './interface.js';

const TOPICS = [topics.status('+'), topics.results('+'), topics.catalogue(), topics.today(), topics.wakeAnswer()];
// MQTT 5 "bad user name or password" and "not authorized", and their MQTT 3 codes.
const REFUSED = new Set([4, 5, 134, 135]);
const PICTURE_WAIT_MS = 30000;

export class Link {
  // onMessage(topic, payload, expiryLeft): expiryLeft is what the broker left of the message's
  // expiry interval, in seconds, or null.
  // onState(state, detail): 'connecting', 'online' (detail.again after a reconnect),
  // 'lost', 'refused' (detail.reason 'credentials' or 'unreachable'), 'signed-out'.
  constructor(url, { onState, onMessage, onNote }) {
    this.url = url;
    this.onState = onState;
    this.onMessage = onMessage;
    this.onNote = onNote;
    this.client = null;
    this.pictureQueue = [];
    this.pictureAsked = null; // { sha, timer }
  }

  signIn(user, password) {
    this.signOut(true);
    let connectedOnce = false;
    let refused = false;
    const client = mqtt.connect(this.url, {
      protocolVersion: 5,
      username: user,
      password,
      clientId: `desk-page-${Math.random().toString(16).slice(2, 10)}`,
      clean: true,
      resubscribe: false,
      reconnectPeriod: 1000,
      connectTimeout: 5000,
      // A dropped Wi-Fi gives no close; the missing ping answer tells within seconds.
      keepalive: 5,
    });
    this.client = client;
    this.onState('connecting');
    client.on('connect', () => {
      const again = connectedOnce;
      connectedOnce = true;
      client.subscribe(TOPICS, { qos: 1 }, (error, granted) => {
        if (error) {
          this.onNote(`subscribe: ${error.message}`);
          return;
        }
        // MQTT 5 grants each filter with a reason code; from 128 on, the broker said no.
        for (const { topic, qos } of granted ?? []) {
          if (qos >= 128) this.onNote(`subscribe ${topic}: refused by the broker (reason code ${qos})`);
        }
        this.onState('online', { again });
        this.askNextPicture(true);
      });
    });
    client.on('message', (topic, payload, packet) => {
      if (this.client !== client) return;
      this.onMessage(topic, payload, packet.properties?.messageExpiryInterval ?? null);
      if (this.pictureAsked && topic === topics.picture(this.pictureAsked.sha)) this.askNextPicture();
    });
    client.on('error', (error) => {
      if (REFUSED.has(error.code)) {
        refused = true;
        client.end(true);
        if (this.client === client) this.client = null;
        this.onState('refused', { reason: 'credentials' });
      } else {
        this.onNote(`broker: ${error.message}`);
      }
    });
    client.on('close', () => {
      if (refused || this.client !== client) return;
      if (!connectedOnce) {
        // The first try decides: a sign-in that reaches no broker is not retried behind the form.
        client.end(true);
        this.client = null;
        this.onState('refused', { reason: 'unreachable' });
      } else {
        this.onState('lost');
      }
    });
  }

  // The pictures the page could not fetch as files, by sha256. Mosquitto's websockets listener
  // sends large messages slowly (some 50 KB/s), and everything else waits behind them, pings
  // included: so they come one at a time, each by subscribing to its retained message and
  // leaving again, since a hash's picture never changes.
  wantPictures(shas) {
    this.pictureQueue = [...shas];
    if (!this.pictureAsked) this.askNextPicture();
  }

  askNextPicture(afresh = false) {
    const client = this.client;
    if (this.pictureAsked) {
      clearTimeout(this.pictureAsked.timer);
      // After a reconnect the broker has forgotten the subscription: ask again.
      if (afresh) this.pictureQueue.unshift(this.pictureAsked.sha);
      else if (client?.connected) client.unsubscribe(topics.picture(this.pictureAsked.sha));
      this.pictureAsked = null;
    }
    if (!client?.connected) return;
    const sha = this.pictureQueue.shift();
    if (!sha) return;
    const timer = setTimeout(() => {
      this.onNote(`pictures/${sha.slice(0, 12)}…: not on the broker, skipped`);
      this.askNextPicture();
    }, PICTURE_WAIT_MS);
    this.pictureAsked = { sha, timer };
    client.subscribe(topics.picture(sha), { qos: 1 });
  }

  // A command: QoS 1, not retained, and dropped by the broker once nobody took it in time.
  publishCommand(topic, payload, lifetimeMs) {
    return new Promise((resolve, reject) => {
      if (!this.client?.connected) {
        reject(new Error('not connected'));
        return;
      }
      this.client.publish(topic, JSON.stringify(payload),
        { qos: 1, retain: false, properties: { messageExpiryInterval: Math.ceil(lifetimeMs / 1000) } },
        (error) => (error ? reject(error) : resolve()));
    });
  }

  // The network said it is gone: drop the connection now rather than wait for the ping.
  dropped() {
    this.client?.stream?.destroy();
  }

  signOut(quiet = false) {
    const client = this.client;
    this.client = null;
    if (client) client.end(true);
    if (!quiet) this.onState('signed-out');
  }
}
