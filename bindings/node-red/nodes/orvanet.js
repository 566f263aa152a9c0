// SPDX-License-Identifier: Apache-2.0
'use strict';
// Node-RED nodes for S5 PLCs over orvanet: the adapter (a configuration node
// holding one connection), and the read and write nodes that use it, each
// set up for a list of named variables or, as flows saved before the lists
// have it, for a range of one area.
const orvanet = require('orvanet');

// "name = variable" lines into { variables: [{ name, variable, line }],
// errors: [{ line, message }] }. A line without "=" is its own name; blank
// lines are skipped. Each variable is parsed by liborvavars.
function parseVariableLines(text) {
  const variables = [];
  const errors = [];
  if (typeof text !== 'string') return { variables, errors: [{ line: 0, message: 'the variables are lines of text: name = variable' }] };
  const lineOf = new Map();
  text.split(/\r?\n/).forEach((raw, i) => {
    const line = i + 1;
    if (!raw.trim()) return;
    const at = raw.indexOf('=');
    const name = (at < 0 ? raw : raw.slice(0, at)).trim();
    const variable = (at < 0 ? raw : raw.slice(at + 1)).trim();
    if (!name) return errors.push({ line, message: `line ${line}: no name before "="` });
    if (!variable) return errors.push({ line, message: `line ${line}: no variable after "${name} ="` });
    if (lineOf.has(name)) return errors.push({ line, message: `line ${line}: the name ${name} is given on line ${lineOf.get(name)} already` });
    try {
      orvanet.parseVariable(variable);
    } catch (error) {
      if (!(error instanceof TypeError || error instanceof RangeError)) throw error;
      return errors.push({ line, message: `line ${line}: ${variable}: ${error.message}` });
    }
    lineOf.set(name, line);
    variables.push({ name, variable, line });
  });
  if (!variables.length && !errors.length) errors.push({ line: 0, message: 'no variables: one a line, name = variable, such as setpoint = DB10.DD30:KG' });
  return { variables, errors };
}

// Whether a node is set up for variables: flows saved before the lists have no mode and a range.
function usesVariables(config) {
  return config.mode === 'variables';
}

// An error of the whole node that names the variables it is about: message, code (the first cause's), failed (name -> { code, message }).
function variablesError(verb, failures, total) {
  const names = Object.keys(failures);
  const causes = Object.values(failures);
  const cause = causes.find((e) => e.code !== 'ORVAVARS_ERR_NOT_TRIED') || causes[0];
  const error = new Error(`${names.length} of ${total} variables ${verb} (${names.join(', ')}): ${cause.message}`);
  error.code = cause.code;
  return error;
}

function failedOf(failures) {
  return Object.fromEntries(Object.entries(failures).map(([name, e]) => [name, { code: e.code, message: e.message }]));
}

module.exports = function register(RED) {
  // An adapter: its address, TSAPs and time-outs, and the one connection the
  // nodes using it share. The connection (and its thread) is closed when the flow stops.
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

  // The editor checks a node's variables here before deploy: the lines of
  // the text as the nodes read them, each variable parsed by liborvavars.
  RED.httpAdmin.post('/orvanet/variables', RED.auth.needsPermission('orvanet.read'), (req, res) => {
    try {
      const { variables, errors } = parseVariableLines(req.body && req.body.text);
      res.json({ variables: variables.map(({ name, variable }) => ({ name, variable })), errors });
    } catch (error) {
      // The libraries did not load: the editor shows why.
      res.json({ variables: [], errors: [{ line: 0, message: error.message }] });
    }
  });

  // A number of the editor's form (a string there), NaN for an empty field, so that orvanet refuses it.
  function whole(value) {
    return value === '' || value === null || value === undefined ? NaN : Number(value);
  }

  // The range a read or write node of the old form is set up for; the area
  // is checked at deploy, start and count by every call.
  function range(config, write) {
    const unit = config.unit === 'bytes' ? 'bytes' : 'words';
    const hasBlock = /^(DB|DX|D|X)$/i.test(config.area || '');
    const area = orvanet.parseArea(config.area, hasBlock ? whole(config.db) : undefined);
    const start = whole(config.start);
    const count = write ? 1 : whole(config.count);
    return { area, unit, start, count, topic: orvanet.formatAddress(area, unit, Number.isInteger(start) ? start : 0) };
  }

  // The named variables of a node of the new form: { names, texts, list } (a list planned once for a read node).
  function variablesOf(config, node, write) {
    const { variables, errors } = parseVariableLines(config.variables);
    if (errors.length) throw new Error(`the variables are not right: ${errors.map((e) => e.message).join('; ')}`);
    const names = variables.map((v) => v.name);
    const texts = variables.map((v) => v.variable);
    return { names, texts, byName: new Map(variables.map((v) => [v.name, v.variable])), list: write ? null : node.adapter.connection.list(texts) };
  }

  // What the read and write nodes share: the adapter, the range or the
  // variables, and the status.
  function setUp(node, config, write) {
    node.adapter = RED.nodes.getNode(config.adapter);
    node.problem = null;
    if (!node.adapter) node.problem = new Error('no orvanet-adapter is chosen for this node');
    else if (node.adapter.problem) node.problem = node.adapter.problem;
    try {
      if (usesVariables(config)) {
        if (!node.problem) node.variables = variablesOf(config, node, write);
      } else {
        node.range = range(config, write);
      }
    } catch (error) {
      node.problem = node.problem || error;
    }
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
    node.partly = (failed, total, error) => node.status({ fill: 'yellow', shape: 'ring', text: `${failed} of ${total} failed: ${error.code}` });
  }

  // Reads when a message arrives, or every interval ms by itself. Variables:
  // msg.payload an object name -> value of those that read; the others in
  // msg.failed (name -> { code, message }) and in one error a catch node
  // gets. A range: msg.payload the values, msg.topic the first address.
  function OrvanetReadNode(config) {
    RED.nodes.createNode(this, config);
    const node = this;
    setUp(node, config, false);
    let reading = 0;

    function readRange(msg, send, done) {
      const { area, unit, start, count, topic } = node.range;
      const connection = node.adapter.connection;
      const call = unit === 'bytes' ? connection.readBytes(area.spelling, start, count) : connection.readWords(area.spelling, start, count);
      return call.then((values) => {
        node.succeeded();
        msg.payload = Array.from(values);
        msg.topic = topic;
        send(msg);
        done();
      });
    }

    function readVariables(msg, send, done) {
      const { names, texts, list } = node.variables;
      return list.read().then((values) => {
        const payload = {};
        const failures = {};
        names.forEach((name, i) => {
          const value = values[texts[i]];
          if (value instanceof orvanet.OrvaError) failures[name] = value;
          else payload[name] = value;
        });
        const failed = Object.keys(failures).length;
        msg.payload = payload;
        if (!failed) {
          node.succeeded();
          send(msg);
          return done();
        }
        msg.failed = failedOf(failures);
        const error = variablesError('did not read', failures, names.length);
        if (failed === names.length) {
          // Nothing read: nothing is sent, as for a range.
          node.failed(Object.values(failures).find((e) => e.code === error.code));
        } else {
          node.partly(failed, names.length, error);
          send(msg);
        }
        done(error);
      });
    }

    function read(msg, send, done) {
      if (node.problem) return node.refuse(done);
      reading++;
      const finish = (fn) => (...args) => {
        reading--;
        if (node.closing) return done();
        return fn(...args);
      };
      const call = usesVariables(config) ? readVariables : readRange;
      call(msg, (m) => !node.closing && send(m), finish(done)).catch(finish((error) => {
        node.failed(error);
        done(error);
      }));
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

  // Variables: writes msg.payload, an object name -> value of the node's
  // variables (all or some). A range: msg.payload a number, an array of
  // numbers, or a Buffer of bytes, from the address set up. Then passes the
  // message on.
  function OrvanetWriteNode(config) {
    RED.nodes.createNode(this, config);
    const node = this;
    setUp(node, config, true);

    function writeRange(msg) {
      const { area, unit, start } = node.range;
      const values = typeof msg.payload === 'number' ? [msg.payload] : msg.payload;
      const connection = node.adapter.connection;
      const call = unit === 'bytes' ? connection.writeBytes(area.spelling, start, values) : connection.writeWords(area.spelling, start, values);
      return call.catch((error) => { throw payloadError(error, 'msg.payload'); });
    }

    function writeVariables(msg) {
      const { names, byName } = node.variables;
      const payload = msg.payload;
      if (payload === null || typeof payload !== 'object' || Array.isArray(payload) || Buffer.isBuffer(payload)) {
        return Promise.reject(payloadError(new TypeError(`msg.payload must be an object of name -> value, such as { ${names[0]}: 12.5 }`), null));
      }
      const unknown = Object.keys(payload).filter((name) => !byName.has(name));
      if (unknown.length) {
        return Promise.reject(payloadError(new TypeError(`msg.payload: no variable is named ${unknown.join(', ')}: the node's names are ${names.join(', ')}`), null));
      }
      const given = Object.keys(payload);
      if (!given.length) return Promise.reject(payloadError(new TypeError(`msg.payload has none of the node's names: ${names.join(', ')}`), null));
      // Each value checked first, so that a refusal names its property.
      for (const name of given) {
        try {
          orvanet.encodeVariable(byName.get(name), payload[name]);
        } catch (error) {
          return Promise.reject(payloadError(error, `msg.payload.${name}`));
        }
      }
      const values = Object.fromEntries(given.map((name) => [byName.get(name), payload[name]]));
      return node.adapter.connection.write(values).catch((error) => {
        if (!error.errors) throw error;
        // The names of the variables that were not written.
        const failures = Object.fromEntries(given.filter((n) => error.errors[byName.get(n)]).map((n) => [n, error.errors[byName.get(n)]]));
        msg.failed = failedOf(failures);
        throw variablesError('were not written', failures, given.length);
      });
    }

    node.on('input', (msg, send, done) => {
      if (node.problem) return node.refuse(done);
      (usesVariables(config) ? writeVariables : writeRange)(msg).then(() => {
        if (node.closing) return done();
        node.succeeded();
        send(msg);
        done();
      }, (error) => {
        if (node.closing) return done();
        node.failed(error);
        done(error);
      });
    });

    node.on('close', (removed, done) => {
      node.closing = true;
      done();
    });
  }
  RED.nodes.registerType('orvanet write', OrvanetWriteNode);

  // An argument error of a write is about msg.payload (where: which part of it): say so.
  function payloadError(error, where) {
    if (!(error instanceof RangeError || error instanceof TypeError) || !where) return error;
    const said = new error.constructor(`${where}: ${error.message}`);
    said.code = error.code;
    return said;
  }
};

module.exports.parseVariableLines = parseVariableLines;
