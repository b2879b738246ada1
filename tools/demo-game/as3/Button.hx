import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

/** A drawn push button. Its clickable area is exactly WIDTH x HEIGHT from its position,
    so a host can aim at it from stage coordinates alone. */
class Button extends Sprite {
	public static inline var WIDTH = 160;
	public static inline var HEIGHT = 44;

	var hover = false;

	public function new(label:String, font:String, x:Float, y:Float, onClick:Void->Void) {
		super();
		this.x = x;
		this.y = y;
		buttonMode = true;
		useHandCursor = true;
		// The label must not swallow the click, nor show a text cursor.
		mouseChildren = false;

		var text = new TextField();
		text.selectable = false;
		text.mouseEnabled = false;
		text.width = WIDTH;
		text.height = HEIGHT;
		text.defaultTextFormat = new TextFormat(font, 20, 0xFFF4E2, true, null, null, null, null, TextFormatAlign.CENTER);
		text.text = label;
		text.y = 9;
		text.height = HEIGHT - 9;
		addChild(text);

		draw();
		addEventListener(MouseEvent.ROLL_OVER, function(_) { hover = true; draw(); });
		addEventListener(MouseEvent.ROLL_OUT, function(_) { hover = false; draw(); });
		addEventListener(MouseEvent.CLICK, function(_) onClick());
	}

	function draw() {
		var g = graphics;
		g.clear();
		var m = new flash.geom.Matrix();
		m.createGradientBox(WIDTH, HEIGHT, Math.PI / 2);
		var top = hover ? 0xF08A44 : 0xE0682A;
		var bottom = hover ? 0xC24A1A : 0xA53A12;
		g.beginGradientFill(flash.display.GradientType.LINEAR, [top, bottom], [1.0, 1.0], [0, 255], m);
		g.drawRoundRect(0, 0, WIDTH, HEIGHT, 10, 10);
		g.endFill();
		// A thin highlight inside the edge, so the button reads as raised.
		g.lineStyle(1, 0xFFC68A, 0.6);
		g.drawRoundRect(1.5, 1.5, WIDTH - 3, HEIGHT - 3, 8, 8);
	}
}
