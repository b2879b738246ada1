/** Resolving the recharge address against the movie's address. Runs without Flash:
    haxe -cp tools/demo-game/as3 -cp tools/demo-game/as3/test -main UrlsTest --interp */
class UrlsTest {
	static function main() {
		var movie = "http://127.0.0.1:8080/game/arena.swf?v=3#top";
		var cases = [
			// [base, reference, expected]
			[movie, "/site/recharge.html", "http://127.0.0.1:8080/site/recharge.html"],
			[movie, "recharge.html", "http://127.0.0.1:8080/game/recharge.html"],
			[movie, "?x=1", "http://127.0.0.1:8080/game/arena.swf?x=1"],
			[movie, "//pay.example/r", "http://pay.example/r"],
			[movie, "https://pay.example/r?a=b", "https://pay.example/r?a=b"],
			[movie, "javascript:alert(1)", "javascript:alert(1)"],
			["http://127.0.0.1:8080", "/site/r.html", "http://127.0.0.1:8080/site/r.html"],
			["http://127.0.0.1:8080", "r.html", "http://127.0.0.1:8080/r.html"],
			["http://h/a/b.swf?p=/x/y", "r.html", "http://h/a/r.html"],
			["file:///opt/game/arena.swf", "/site/r.html", "file:///site/r.html"],
			["", "/site/r.html", "/site/r.html"],
			[null, "/site/r.html", "/site/r.html"],
			[movie, "", movie],
		];
		var failed = 0;
		for (c in cases) {
			var got = Urls.resolve(c[0], c[1]);
			if (got != c[2]) {
				failed++;
				Sys.println('FAIL resolve(${c[0]}, ${c[1]}) = $got, expected ${c[2]}');
			}
		}
		Sys.println(failed == 0 ? 'ok: ${cases.length} cases' : '$failed of ${cases.length} cases failed');
		Sys.exit(failed == 0 ? 0 : 1);
	}
}
