// Runs a SQL script written by `relalg --sql=duckdb` on an in-memory DuckDB
// database and prints the rows of its last statement the way relalg prints
// result rows: integers in decimal, strings as stored, cells joined by ","
// and one line per row. An error goes to standard error, exit status 1.
//
// usage: node run.mjs [SCRIPT.sql]     (standard input when no file is given)
//        node run.mjs --batch LIST     each line of LIST is SCRIPT<TAB>OUT: every
//                                      script runs on a database of its own and
//                                      its rows go to OUT, or its error to OUT.err
// environment: DUCKDB_THREADS sets DuckDB's worker threads (default 2).
import { DuckDBInstance } from '@duckdb/node-api';
import { readFileSync, writeFileSync } from 'node:fs';

const cell = (v) => {
  if (typeof v === 'string') return v;
  if (typeof v === 'number' || typeof v === 'bigint') return String(v);
  if (v === null) throw new Error('a NULL cell: relalg has no such value');
  throw new Error(`a cell of unexpected type ${typeof v}: ${String(v)}`);
};

// The rows of the script's last statement, printed.
async function run(script) {
  const instance = await DuckDBInstance.create(':memory:', { threads: process.env.DUCKDB_THREADS ?? '2' });
  const conn = await instance.connect();
  try {
    const statements = await conn.extractStatements(script);
    let last = null;
    for (let i = 0; i < statements.count; i++) {
      const prepared = await statements.prepare(i);
      last = await prepared.runAndReadAll();
    }
    const lines = [];
    if (last !== null) for (const row of last.getRows()) lines.push(row.map(cell).join(',') + '\n');
    return Buffer.from(lines.join(''), 'utf8');
  } finally {
    conn.closeSync?.();
    instance.closeSync?.();
  }
}

const args = process.argv.slice(2);
if (args[0] === '--batch') {
  if (args.length !== 2) {
    process.stderr.write('usage: node run.mjs --batch LIST\n');
    process.exit(2);
  }
  const jobs = readFileSync(args[1], 'utf8').split('\n').filter((l) => l.length > 0);
  for (const job of jobs) {
    const [script, out] = job.split('\t');
    try {
      writeFileSync(out, await run(readFileSync(script, 'utf8')));
    } catch (e) {
      writeFileSync(out + '.err', `${e.message}\n`);
    }
  }
} else {
  const path = args[0] ?? '/dev/stdin';
  try {
    const rows = await run(readFileSync(path, 'utf8'));
    process.stdout.write(rows);
  } catch (e) {
    process.stderr.write(`run.mjs: ${e.message}\n`);
    process.exit(1);
  }
}
