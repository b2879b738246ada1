import flash.Lib;
import flash.display.StageDisplayState;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.KeyboardEvent;
import flash.events.ProgressEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.net.Socket;

/**
	The launcher's self-test movie. It draws a picture, connects to the game server named by the
	flash variable "server" (host:port) and tells it, a line at a time, what the launcher gave it:
	"sysmem <answer>" (its GetSysMem call), "echoed" (its first line came back through the
	launcher's relay), "key <code>" for each key, and "fullscreen-on" / "fullscreen-off" as the
	stage enters full screen on the first key and then leaves it.
**/
class SelfTest {
	static var socket = new Socket();
	static var received = "";
	static var keys = 0;

	static function main() {
		var g = Lib.current.graphics;
		g.beginFill(0x1d3b2a);
		g.drawRect(0, 0, 400, 300);
		g.endFill();
		g.beginFill(0xffb45a);
		g.drawCircle(200, 150, 70);
		g.endFill();
		var target = Std.string(Reflect.field(Lib.current.loaderInfo.parameters, "server")).split(":");
		socket.addEventListener(Event.CONNECT, function(_) {
			var memory:Dynamic = ExternalInterface.available ? ExternalInterface.call("GetSysMem") : null;
			send("sysmem " + Std.string(memory));
			send("echo");
		});
		socket.addEventListener(ProgressEvent.SOCKET_DATA, onData);
		socket.addEventListener(IOErrorEvent.IO_ERROR, function(_) {});
		socket.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) {});
		socket.connect(target[0], Std.parseInt(target[1]));
		Lib.current.stage.addEventListener(KeyboardEvent.KEY_DOWN, onKey);
	}

	static function onKey(e:KeyboardEvent) {
		send("key " + e.keyCode);
		if (++keys > 1) {
			return;
		}
		var stage = Lib.current.stage;
		try {
			stage.displayState = StageDisplayState.FULL_SCREEN;
		} catch (error:Dynamic) {
			send("fullscreen-refused " + Std.string(error));
			return;
		}
		// Told by looking, not by event: what counts is the state the player reports. The player
		// reports full screen as soon as it asks the page for it, and a page still entering full
		// screen ignores a request to leave it, so the movie asks again until it has left, as a
		// player pressing Esc twice would.
		whenState(stage, true, function() {
			send("fullscreen-on");
			stage.displayState = StageDisplayState.NORMAL;
			whenState(stage, false, function() send("fullscreen-off"),
				function() stage.displayState = StageDisplayState.NORMAL);
		}, null);
	}

	// Calls `then` once the stage is (or is not) in full screen, looking four times a second for
	// up to a minute and calling `again` (if given) every second it has not; the launcher's own
	// step budget decides what is too slow.
	static function whenState(stage:flash.display.Stage, full:Bool, then:Void->Void, again:Void->Void) {
		var looks = 0;
		var timer = new haxe.Timer(250);
		timer.run = function() {
			++looks;
			if ((stage.displayState != StageDisplayState.NORMAL) == full) {
				timer.stop();
				then();
			} else if (looks >= 240) {
				timer.stop();
			} else if (again != null && looks % 4 == 0) {
				again();
			}
		};
	}

	static function onData(_) {
		received += socket.readUTFBytes(socket.bytesAvailable);
		var end = received.indexOf("\n");
		while (end >= 0) {
			if (received.substr(0, end) == "echo") {
				send("echoed");
			}
			received = received.substr(end + 1);
			end = received.indexOf("\n");
		}
	}

	static function send(line:String) {
		socket.writeUTFBytes(line + "\n");
		socket.flush();
	}
}
