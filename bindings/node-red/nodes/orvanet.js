// SPDX-License-Identifier: Apache-2.0
'use strict';
// Node-RED nodes for S5 PLCs over orvanet: the adapter (a configuration node
// holding one connection), and the read and write nodes that use it.
const orvanet = require('orvanet');

module.exports = function register(RED) {
  // An adapter: its address, TSAPs and time-outs, and the one connection the
  // nodes using it share. The connection is closed when the flow stops.
  function OrvanetAdapterNode(config) {
    RED.nodes.createNode(this, config);
    this.address = config.address;
    this.connection = null;
    this.problem = null;
    try {
      this.connection = orvanet.connect(config.address, {
        ownTsap: config.ownTsap || '',
        plcTsap: config.plcTsap || '',
        receiveTimeoutMs: Number(config.receiveTimeout || 0),  // empty: the library's default
        sendTimeoutMs: Number(config.sendTimeout || 0),
        connectTimeoutMs: Number(config.connectTimeout || 0),
      });
    } catch (error) {
      this.problem = error;
      this.error(`adapter ${config.address}: ${error.message}`);
    }
    this.on('close', (removed, done) => {
      if (!this.connection) return done();
      this.connection.close().then(() => done(), (error) => {
        this.error(error.message);
        done();
      });
    });
  }
  RED.nodes.registerType('orvanet-adapter', OrvanetAdapterNode);

  // A number of the editor's form (a string there), NaN for an empty field, so that orvanet refuses it.
  function whole(value) {
    return value === '' || value === null || value === undefined ? NaN : Number(value);
  }

  // The request a read or write node is set up for; the area is checked at
  // deploy, start and count by every call.
  function request(config, write) {
    const unit = config.unit === 'bytes' ? 'bytes' : 'words';
    const hasBlock = /^(DB|DX|D|X)$/i.test(config.area || '');
    const area = orvanet.parseArea(config.area, hasBlock ? whole(config.db) : undefined);
    const start = whole(config.start);
    const count = write ? 1 : whole(config.count);
    return { area, unit, start, count, topic: orvanet.formatAddress(area, unit, Number.isInteger(start) ? start : 0) };
  }

  // What the read and write nodes share: the adapter, the request and the status.
  function setUp(node, config, write) {
    node.adapter = RED.nodes.getNode(config.adapter);
    node.problem = null;
    try {
      node.request = request(config, write);
    } catch (error) {
      node.problem = error;
    }
    if (!node.problem && !node.adapter) node.problem = new Error('no orvanet-adapter is chosen for this node');
    if (!node.problem && node.adapter.problem) node.problem = node.adapter.problem;
    // A node set up wrongly says so at deploy and on every message.
    node.refuse = (done) => {
      node.status({ fill: 'red', shape: 'ring', text: 'not set up' });
      done(node.problem);
    };
    if (node.problem) {
      node.refuse((error) => node.error(error.message));
    } else {
      node.status({ fill: 'grey', shape: 'ring', text: 'not yet connected' });
    }
    node.closing = false;
    node.succeeded = () => node.status({ fill: 'green', shape: 'dot', text: 'connected' });
    node.failed = (error) => {
      const name = error.socketErrorName ? ` ${error.socketErrorName}` : '';
      node.status({ fill: 'red', shape: 'ring', text: `error: ${error.code || error.name}${name}` });
    };
  }

  // Reads when a message arrives, or every interval ms by itself; sends the
  // values as msg.payload, with the first address in msg.topic.
  function OrvanetReadNode(config) {
    RED.nodes.createNode(this, config);
    const node = this;
    setUp(node, config, false);
    let reading = 0;

    function read(msg, send, done) {
      if (node.problem) return node.refuse(done);
      const { area, unit, start, count, topic } = node.request;
      const connection = node.adapter.connection;
      const call = unit === 'bytes' ? connection.readBytes(area.spelling, start, count) : connection.readWords(area.spelling, start, count);
      reading++;
      call.then((values) => {
        reading--;
        if (node.closing) return done();
        node.succeeded();
        msg.payload = Array.from(values);
        msg.topic = topic;
        send(msg);
        done();
      }, (error) => {
        reading--;
        if (node.closing) return done();
        node.failed(error);
        done(error);
      });
    }

    node.on('input', (msg, send, done) => read(msg, send, done));

    const interval = Number(config.interval || 0);
    let timer = null;
    if (interval > 0 && !node.problem) {
      // A round is skipped while the last one still waits for the adapter.
      const poll = () => {
        if (reading > 0 || node.closing) return;
        const msg = {};
        read(msg, (m) => node.send(m), (error) => error && node.error(error, msg));
      };
      timer = setInterval(poll, interval);
      setImmediate(poll);
    }

    node.on('close', (removed, done) => {
      node.closing = true;
      if (timer) clearInterval(timer);
      done();
    });
  }
  RED.nodes.registerType('orvanet read', OrvanetReadNode);

  // Writes msg.payload (a number, an array of numbers, or a Buffer of bytes)
  // from the address it is set up for, then passes the message on.
  function OrvanetWriteNode(config) {
    RED.nodes.createNode(this, config);
    const node = this;
    setUp(node, config, true);

    node.on('input', (msg, send, done) => {
      if (node.problem) return node.refuse(done);
      const { area, unit, start } = node.request;
      const values = typeof msg.payload === 'number' ? [msg.payload] : msg.payload;
      const connection = node.adapter.connection;
      const call = unit === 'bytes' ? connection.writeBytes(area.spelling, start, values) : connection.writeWords(area.spelling, start, values);
      call.then(() => {
        if (node.closing) return done();
        node.succeeded();
        send(msg);
        done();
      }, (error) => {
        if (node.closing) return done();
        node.failed(error);
        done(payloadError(error));
      });
    });

    node.on('close', (removed, done) => {
      node.closing = true;
      done();
    });
  }
  RED.nodes.registerType('orvanet write', OrvanetWriteNode);

  // An argument error of a write is about msg.payload: say so.
  function payloadError(error) {
    if (!(error instanceof RangeError || error instanceof TypeError)) return error;
    const said = new error.constructor(`msg.payload: ${error.message}`);
    said.code = error.code;
    return said;
  }
};
