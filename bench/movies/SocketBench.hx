import flash.Lib;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.ProgressEvent;
import flash.external.ExternalInterface;
import flash.net.Socket;
import flash.utils.ByteArray;

/**
	Times a game's socket as the movie sees it, against an echo server named by the flash
	variable "server" (host:port): ROUNDS round trips of a 100-byte message one after the
	other, then TRANSFER bytes sent in 64 KiB writes and echoed back. The result goes to the
	host as benchResult("rounds=..;round_trips_ms=..;transfer_bytes=..;transfer_ms=..").
**/
class SocketBench {
	static inline var ROUNDS = 500;
	static inline var MESSAGE = 100;
	static inline var TRANSFER = 10 * 1024 * 1024;
	static inline var CHUNK = 64 * 1024;

	var socket = new Socket();
	var phase = 0;
	var rounds = 0;
	var received = 0;
	var started = 0;
	var roundTripsMs = 0;
	var message = new ByteArray();
	var sink = new ByteArray();

	static function main() {
		new SocketBench();
	}

	function new() {
		var params:Dynamic = Lib.current.loaderInfo.parameters;
		var target = Std.string(Reflect.field(params, "server")).split(":");
		for (i in 0...MESSAGE) message.writeByte(i);
		socket.addEventListener(Event.CONNECT, function(_) {
			started = Lib.getTimer();
			ping();
		});
		socket.addEventListener(ProgressEvent.SOCKET_DATA, onData);
		socket.addEventListener(IOErrorEvent.IO_ERROR, function(_) report("error=io"));
		socket.connect(target[0], Std.parseInt(target[1]));
	}

	function ping() {
		socket.writeBytes(message);
		socket.flush();
	}

	function onData(_) {
		received += socket.bytesAvailable;
		sink.position = 0;
		socket.readBytes(sink);
		if (phase == 0) {
			if (received < MESSAGE) return;
			received -= MESSAGE;
			if (++rounds < ROUNDS) {
				ping();
				return;
			}
			roundTripsMs = Lib.getTimer() - started;
			phase = 1;
			received = 0;
			started = Lib.getTimer();
			var chunk = new ByteArray();
			chunk.length = CHUNK;
			var sent = 0;
			while (sent < TRANSFER) {
				socket.writeBytes(chunk);
				socket.flush();
				sent += CHUNK;
			}
		} else if (received >= TRANSFER) {
			report("rounds=" + ROUNDS + ";round_trips_ms=" + roundTripsMs + ";transfer_bytes=" + TRANSFER
				+ ";transfer_ms=" + (Lib.getTimer() - started));
			phase = 2;
		}
	}

	function report(result:String) {
		if (ExternalInterface.available) ExternalInterface.call("benchResult", result);
	}
}
