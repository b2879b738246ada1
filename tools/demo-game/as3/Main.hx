import flash.Lib;
import flash.display.Shape;
import flash.display.Sprite;
import flash.display.Stage;
import flash.display.StageDisplayState;
import flash.events.Event;
import flash.events.FullScreenEvent;
import flash.events.KeyboardEvent;
import flash.external.ExternalInterface;
import flash.net.SharedObject;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

/**
	Tavrin 竞技场: the ActionScript 3 demo game. A small arena lobby that exercises what a
	host of a real AS3 game must provide: flash variables, ExternalInterface both ways,
	fscommand, navigateToURL to a new window, full screen, keyboard input, a saved
	SharedObject, a TCP socket to the game server, and Chinese text in device fonts.

	Everything a host can observe is also reported, after every change, as
	tavrinDemoState("game=arena;sysmem=..;resize=..;visits=..;socket=..;heard=..;keys=..;fullscreen=..;probe=..").
**/
class Main {
	public static inline var STAGE_W = 1000;
	public static inline var STAGE_H = 600;
	public static inline var BACKGROUND = 0x101820;
	public static inline var BEYOND = 0x3A2414;
	static inline var ORANGE = 0xFFB45A;
	static inline var EDGE = 0xC9652A;
	static inline var INK = 0xF3E9D8;
	static inline var MUTED = 0xB79D84;
	static inline var BUTTON_Y = 480;
	static inline var CHAT_LINES = 12;

	var root:Sprite;
	var stage:Stage;

	var server:String;
	var player:String;
	var lang:String;
	var chatAddress:String;
	var recharge:String;

	var sysmem = "none";
	var resizes = 0;
	var resizeDelayMs = 0;
	var visits = 0;
	var frames = 0;
	var heard = "";
	var keys = "";
	var fullscreen = false;
	var probe = "";

	var link:ChatLink;
	var chatLog:Array<String> = [];

	var memoryText:TextField;
	var visitsText:TextField;
	var socketText:TextField;
	var keysText:TextField;
	var chatText:TextField;
	var emblem:Shape;

	static function main() {
		new Main(Lib.current);
	}

	function new(root:Sprite) {
		this.root = root;
		this.stage = root.stage;
		var params:Dynamic = root.loaderInfo.parameters;
		server = param(params, "server", "");
		player = param(params, "player", "guest");
		lang = param(params, "lang", "zh");
		chatAddress = param(params, "chat", "");
		recharge = Urls.resolve(root.loaderInfo.url, param(params, "recharge", "/site/recharge.html"));

		drawScene();
		link = new ChatLink(player, function(s) {
			socketText.text = "连接: " + socketLabel(s);
			report();
		}, onLine);
		visits = countVisit();
		visitsText.text = "第 " + visits + " 次进入";

		var reply:Dynamic = callHost("GetSysMem");
		if (reply != null && Std.string(reply) != "") sysmem = Std.string(reply);
		memoryText.text = sysmem == "none" ? "内存 未知" : "内存 " + sysmem.split(",").join("/") + " MB";

		if (ExternalInterface.available) {
			try {
				ExternalInterface.addCallback("stageResize", Reflect.makeVarArgs(function(_) return onStageResize()));
				ExternalInterface.addCallback("tavrinDemo", Reflect.makeVarArgs(function(args:Array<Dynamic>) {
					return onTestAction(args.length > 0 && args[0] != null ? Std.string(args[0]) : "");
				}));
			} catch (e:Dynamic) {}
		}

		if (stage != null) {
			stage.addEventListener(KeyboardEvent.KEY_DOWN, onKey);
			stage.addEventListener(FullScreenEvent.FULL_SCREEN, function(e:FullScreenEvent) {
				fullscreen = e.fullScreen;
				report();
			});
			stage.focus = stage;
			// Haxe's start-up code aligns the stage top-left; a game made with Flash keeps the
			// default, the whole stage centred in the player.
			stage.align = cast "";
		}
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			emblem.rotation += 3;
			frames++;
		});

		if (chatAddress != "") link.connect(chatAddress);
		report();
	}

	// ---- host contract ------------------------------------------------------------------

	function onStageResize():String {
		if (resizeDelayMs > 0) {
			// Stands in for a game that does heavy work in its resize handler: the host must
			// not freeze waiting for it.
			var until = Lib.getTimer() + resizeDelayMs;
			while (Lib.getTimer() < until) {}
		}
		resizes++;
		report();
		return "ok";
	}

	function onTestAction(action:String):String {
		var colon = action.indexOf(":");
		var verb = colon < 0 ? action : action.substr(0, colon);
		var arg = colon < 0 ? "" : action.substr(colon + 1);
		switch (verb) {
			case "say" if (colon >= 0):
				return link.send("SAY " + arg) ? "ok" : "offline";
			case "close" if (colon < 0):
				link.close();
				return "ok";
			case "connect" if (colon < 0):
				if (chatAddress == "") return "no chat address";
				link.connect(chatAddress);
				return "ok";
			case "connect":
				return link.connect(arg) ? "ok" : "not an address";
			case "frames" if (colon < 0):
				return Std.string(frames);
			case "slowresize" if (colon >= 0):
				var ms = Std.parseInt(arg);
				if (ms == null || ms < 0) return "unknown";
				resizeDelayMs = ms;
				return "ok";
			case "recharge" if (colon < 0):
				openRecharge();
				return "ok";
			case "probe" if (colon < 0):
				runProbes();
				return "done";
			default:
				return "unknown";
		}
	}

	/** What a page answers to a script, a property read and a missing function. */
	function runProbes() {
		var r1 = callHost("function(){document.title='probe';return 'ran';}");
		var r2 = callHost("document.title.toString");
		var r3 = callHost("tavrinNoSuchName");
		probe = asString(r1) + "," + asString(r2) + "," + asString(r3);
		report();
	}

	function report() {
		callHost("tavrinDemoState", state());
	}

	function state():String {
		return "game=arena;sysmem=" + sysmem + ";resize=" + resizes + ";visits=" + visits + ";socket=" + link.state
			+ ";heard=" + heard + ";keys=" + keys + ";fullscreen=" + (fullscreen ? "1" : "0") + ";probe=" + probe;
	}

	/** ExternalInterface.call that never throws: a host without a page, or one that refuses, is null. */
	static function callHost(name:String, ?arg:String):Dynamic {
		if (!ExternalInterface.available) return null;
		try {
			return arg == null ? ExternalInterface.call(name) : ExternalInterface.call(name, arg);
		} catch (e:Dynamic) {
			return null;
		}
	}

	/** AS3's own String(v): "null" for null and "undefined" for undefined, as a page returns them. */
	static function asString(v:Dynamic):String {
		return untyped __global__["String"](v);
	}

	// ---- game ------------------------------------------------------------------------------

	function onLine(line:String) {
		heard = line.split(";").join(" ").split("=").join(" ");
		chatLog.push(line);
		while (chatLog.length > CHAT_LINES) chatLog.shift();
		chatText.text = chatLog.join("\n");
		report();
	}

	function onKey(e:KeyboardEvent) {
		var c:Int = e.charCode;
		if (c < 32 || c > 126) return;
		keys += String.fromCharCode(c);
		if (keys.length > 16) keys = keys.substr(keys.length - 16);
		keysText.text = "按键: " + keys;
		report();
	}

	function countVisit():Int {
		try {
			var so = SharedObject.getLocal("tavrin-arena", "/");
			var before:Dynamic = so.data.visits;
			var n = (before == null ? 0 : Std.int(before)) + 1;
			so.data.visits = n;
			so.flush();
			return n;
		} catch (e:Dynamic) {
			return 0; // no storage: the count means "not saved"
		}
	}

	function refreshGame() {
		untyped __global__["flash.system.fscommand"]("GameRefresh", "");
	}

	function openRecharge() {
		try {
			untyped __global__["flash.net.navigateToURL"](new URLRequest(recharge), "_blank");
		} catch (e:Dynamic) {}
	}

	function toggleFullScreen() {
		if (stage == null) return;
		try {
			stage.displayState = stage.displayState == StageDisplayState.NORMAL ? StageDisplayState.FULL_SCREEN : StageDisplayState.NORMAL;
		} catch (e:Dynamic) {} // refused without a user gesture or allowFullScreen
	}

	function sayHello() {
		link.send("SAY 你好，竞技场");
	}

	static function socketLabel(s:String):String {
		return switch (s) {
			case "connecting": "连接中…";
			case "connected": "已连接";
			case "ioerror": "连接失败";
			case "securityerror": "连接被拒绝";
			case "closed": "已断开";
			default: "未连接";
		}
	}

	static function param(params:Dynamic, name:String, fallback:String):String {
		var v:Dynamic = params == null ? null : Reflect.field(params, name);
		return v == null || Std.string(v) == "" ? fallback : Std.string(v);
	}

	// ---- drawing ---------------------------------------------------------------------------

	function drawScene() {
		var g = root.graphics;
		// Beyond the stage, as games draw for screens wider or taller than it: a host that
		// shows the whole stage shows this too, where a letterbox would show bars.
		g.beginFill(BEYOND);
		g.drawRect(-STAGE_W, -STAGE_H, 3 * STAGE_W, STAGE_H);
		g.drawRect(-STAGE_W, STAGE_H, 3 * STAGE_W, STAGE_H);
		g.drawRect(-STAGE_W, 0, STAGE_W, STAGE_H);
		g.drawRect(STAGE_W, 0, STAGE_W, STAGE_H);
		g.endFill();
		// A plain background everywhere the font probe sits: a host counts its bright pixels.
		g.beginFill(BACKGROUND);
		g.drawRect(0, 0, STAGE_W, STAGE_H);
		g.endFill();
		g.lineStyle(2, EDGE);
		g.drawRect(6, 6, STAGE_W - 12, STAGE_H - 12);
		g.lineStyle();
		panel(g, 40, 160, 420, 280);
		panel(g, 500, 90, 460, 350);

		label("Tavrin 竞技场", "黑体", 34, ORANGE, 40, 22, 420, 50, true);
		label("在线竞技 · 演示服", "微软雅黑", 18, MUTED, 500, 36, 460, 30, false, TextFormatAlign.RIGHT);
		// The font probe: Chinese only, so any bright pixel in its box is a CJK glyph.
		label("中文字体显示正常", "_sans", 30, 0xFFFFFF, 40, 90, 420, 50);

		var where = (server == "" ? "?" : server) + " 区 · 玩家 " + player + " · 语言 " + lang;
		label("服务器 " + where, "宋体", 18, INK, 56, 174, 390, 28);
		memoryText = label("内存 未知", "SimSun", 18, INK, 56, 208, 390, 28);
		visitsText = label("第 0 次进入", "微软雅黑", 18, ORANGE, 56, 242, 390, 28);
		socketText = label("连接: 未连接", "_serif", 18, INK, 56, 276, 390, 28);
		keysText = label("按键: ", "_typewriter", 18, INK, 56, 310, 390, 28);
		label("聊天地址 " + (chatAddress == "" ? "无" : chatAddress), "_typewriter", 14, MUTED, 56, 400, 390, 24);

		label("聊天频道", "黑体", 20, ORANGE, 516, 100, 428, 30, true);
		chatText = label("", "Microsoft YaHei", 16, 0xE8DCC8, 516, 134, 428, 296);
		chatText.multiline = true;
		chatText.wordWrap = true;

		label("充值页 " + recharge, "_serif", 14, MUTED, 40, 556, 760, 24);

		var buttons = [
			{text: "刷新游戏", act: refreshGame},
			{text: "充值", act: openRecharge},
			{text: "全屏", act: toggleFullScreen},
			{text: "发言", act: sayHello},
		];
		for (i in 0...buttons.length)
			root.addChild(new Button(buttons[i].text, i % 2 == 0 ? "黑体" : "微软雅黑", 40 + i * 180, BUTTON_Y, buttons[i].act));

		emblem = new Shape();
		drawEmblem(emblem.graphics);
		emblem.x = 880;
		emblem.y = 502;
		root.addChild(emblem);
	}

	static function panel(g:flash.display.Graphics, x:Float, y:Float, w:Float, h:Float) {
		g.lineStyle(1, EDGE, 0.8);
		g.beginFill(0x1A2230);
		g.drawRoundRect(x, y, w, h, 12, 12);
		g.endFill();
		g.lineStyle();
	}

	/** Two crossed blades inside a ring: the arena's mark, turning so a picture shows it runs. */
	static function drawEmblem(g:flash.display.Graphics) {
		g.lineStyle(4, EDGE);
		g.drawCircle(0, 0, 40);
		g.lineStyle();
		for (angle in [45.0, -45.0]) {
			var a = angle * Math.PI / 180;
			var c = Math.cos(a), s = Math.sin(a);
			// A blade along the local x axis, rotated by hand.
			var pts = [[-30.0, -3.0], [22.0, -3.0], [32.0, 0.0], [22.0, 3.0], [-30.0, 3.0]];
			g.beginFill(ORANGE);
			for (j in 0...pts.length) {
				var px = pts[j][0] * c - pts[j][1] * s;
				var py = pts[j][0] * s + pts[j][1] * c;
				if (j == 0) g.moveTo(px, py) else g.lineTo(px, py);
			}
			g.endFill();
		}
		g.beginFill(0xFFF4E2);
		g.drawCircle(0, 0, 6);
		g.endFill();
	}

	function label(text:String, font:String, size:Int, color:Int, x:Float, y:Float, w:Float, h:Float, bold = false,
			?align:TextFormatAlign):TextField {
		var t = new TextField();
		t.selectable = false;
		t.mouseEnabled = false;
		t.defaultTextFormat = new TextFormat(font, size, color, bold, null, null, null, null, align);
		t.x = x;
		t.y = y;
		t.width = w;
		t.height = h;
		t.text = text;
		root.addChild(t);
		return t;
	}
}
