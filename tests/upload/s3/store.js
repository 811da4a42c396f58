// Local S3-compatible store for the upload tests, over HTTPS on 127.0.0.1.
// Usage: node store.js <data folder> <key.pem> <cert.pem>
// Prints "listening <port>" once it accepts requests; stops on SIGTERM or when stdin closes.
'use strict';

const fs = require('fs');
const S3rver = require('@20minutes/s3rver');

const [directory, keyPath, certPath] = process.argv.slice(2);
if (!directory || !keyPath || !certPath) {
  console.error('usage: node store.js <data folder> <key.pem> <cert.pem>');
  process.exit(2);
}

// Path-style requests: the first path segment is the bucket, so the uploader's key prefixes
// are the buckets.
const server = new S3rver({
  address: '127.0.0.1',
  port: 0,
  silent: true,
  directory,
  vhostBuckets: false,
  key: fs.readFileSync(keyPath),
  cert: fs.readFileSync(certPath),
  configureBuckets: [{ name: 'file' }, { name: 'apk' }, { name: 'ios-client-log' }],
});

server.run().then(
  ({ port }) => {
    process.stdout.write(`listening ${port}\n`);
  },
  (error) => {
    console.error(`store: ${error.message}`);
    process.exit(1);
  },
);

const stop = () => server.close().finally(() => process.exit(0));
process.on('SIGTERM', stop);
process.stdin.on('end', stop);
process.stdin.resume();
