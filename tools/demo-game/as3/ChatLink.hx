import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.ProgressEvent;
import flash.events.SecurityErrorEvent;
import flash.net.Socket;
import flash.utils.ByteArray;

/** The line-based link to the game server: UTF-8 text, one message per "\n".
    Each connect() uses a fresh Socket, so late events of an abandoned one are ignored. */
class ChatLink {
	// A server that never ends its line must not make us hold on to its bytes forever.
	static inline var MAX_PENDING = 65536;

	public var state(default, null) = "idle";

	var player:String;
	var socket:Socket;
	var pending:ByteArray;
	var onState:String->Void;
	var onLine:String->Void;

	public function new(player:String, onState:String->Void, onLine:String->Void) {
		this.player = player;
		this.onState = onState;
		this.onLine = onLine;
	}

	/** Connects to "host:port"; false if the address cannot be one. */
	public function connect(address:String):Bool {
		drop();
		var colon = address == null ? -1 : address.lastIndexOf(":");
		var port = colon > 0 ? Std.parseInt(address.substr(colon + 1)) : null;
		if (port == null || port <= 0 || port > 65535) {
			setState("ioerror");
			return false;
		}
		var host = address.substr(0, colon);
		var s = new Socket();
		socket = s;
		pending = new ByteArray();
		s.addEventListener(Event.CONNECT, function(_) {
			if (s != socket) return;
			setState("connected");
			send("HELLO " + player);
		});
		s.addEventListener(ProgressEvent.SOCKET_DATA, function(_) if (s == socket) receive());
		s.addEventListener(IOErrorEvent.IO_ERROR, function(_) if (s == socket) setState("ioerror"));
		s.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) if (s == socket) setState("securityerror"));
		s.addEventListener(Event.CLOSE, function(_) {
			if (s != socket) return;
			receive(); // whatever arrived with the close still counts
			setState("closed");
		});
		setState("connecting");
		try {
			s.connect(host, port);
		} catch (e:Dynamic) {
			setState("securityerror");
		}
		return true;
	}

	/** Sends one line; false when there is no connection to send it on. */
	public function send(line:String):Bool {
		if (socket == null || !socket.connected) return false;
		try {
			socket.writeUTFBytes(line + "\n");
			socket.flush();
			return true;
		} catch (e:Dynamic) {
			setState("ioerror");
			return false;
		}
	}

	public function close() {
		drop();
		setState("closed");
	}

	function drop() {
		if (socket == null) return;
		var s = socket;
		socket = null;
		try {
			if (s.connected) s.close();
		} catch (e:Dynamic) {}
	}

	function receive() {
		if (socket == null) return;
		try {
			if (socket.bytesAvailable > 0) socket.readBytes(pending, pending.length, socket.bytesAvailable);
		} catch (e:Dynamic) {
			return;
		}
		// Lines are cut at the byte level: a multi-byte character split across two packets
		// is decoded only once its line is whole.
		var start = 0;
		var i = 0;
		var n:Int = pending.length;
		while (i < n) {
			if (pending[i] == 10) {
				var end = i;
				if (end > start && pending[end - 1] == 13) end--;
				pending.position = start;
				var line = end > start ? pending.readUTFBytes(end - start) : "";
				start = i + 1;
				onLine(line);
				if (socket == null) return; // the line's handler may have closed us
			}
			i++;
		}
		var rest = new ByteArray();
		if (start < n) rest.writeBytes(pending, start, n - start);
		if (rest.length > MAX_PENDING) rest = new ByteArray();
		pending = rest;
	}

	function setState(s:String) {
		state = s;
		onState(s);
	}
}
