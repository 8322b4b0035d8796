// The page's side of the worker that runs the engine. The worker's script is
// built in the page from the engine module's code and the worker code, both
// held in the page as text, so that the page works opened from disk with
// nothing fetched.
import { ENGINE_SOURCE, WORKER_SOURCE } from 'virtual:sources';

export class Engine {
  constructor() {
    this.worker = null;
    this.pending = new Map();
    this.next = 1;
    this.lastRun = null;
  }

  start() {
    if (this.worker) return;
    const url = URL.createObjectURL(new Blob([ENGINE_SOURCE, '\n', WORKER_SOURCE], { type: 'text/javascript' }));
    this.worker = new Worker(url);
    URL.revokeObjectURL(url);
    this.worker.onmessage = (event) => this.receive(event.data);
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(new Error(event.message || 'the engine worker failed'));
    };
  }

  receive(msg) {
    const job = this.pending.get(msg.id);
    if (!job) return;
    if (msg.phase) {
      job.onProgress(msg);
    } else if (msg.failed !== undefined) {
      this.pending.delete(msg.id);
      job.reject(new Error(msg.failed));
    } else if (msg.done) {
      this.pending.delete(msg.id);
      job.resolve(msg);
    }
  }

  // Rejects every run in flight and drops the worker; the next run starts a
  // new one.
  fail(error) {
    if (this.worker) this.worker.terminate();
    this.worker = null;
    this.lastRun = null;
    for (const job of this.pending.values()) job.reject(error);
    this.pending.clear();
  }

  stop() {
    this.fail(new Error('stopped'));
  }

  post(id, message, transfer, onProgress) {
    this.start();
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, onProgress });
      this.worker.postMessage(message, transfer);
    });
  }

  // Loads the module ahead of the first run.
  warm() {
    return this.post('warm', { id: 'warm' }, [], () => {});
  }

  // Runs an input text with opts.options (run.js). Resolves with the
  // worker's answer: {status, output (with opts.text), preview (the result
  // table's first opts.rows rows), size, messages, diagnostics, explain (its text),
  // rowCount, formula (with opts.formula: the query's formula, see
  // worker.js), engineMs, run (this run's number)}.
  async run(input, opts, onProgress = () => {}) {
    const id = this.next++;
    const message = {
      id, input, options: opts.options, text: Boolean(opts.text), rows: opts.rows ?? 0, formula: Boolean(opts.formula),
    };
    const answer = await this.post(id, message, [], onProgress);
    this.lastRun = id;
    return { ...answer, run: id };
  }

  // The output's bytes of run number `run`, or null when the worker no
  // longer holds it (a later run took its place).
  async bytes(run) {
    if (run !== this.lastRun) return null;
    const id = this.next++;
    const answer = await this.post(id, { id, bytes: true }, [], () => {});
    return new Uint8Array(answer.bytes);
  }
}
