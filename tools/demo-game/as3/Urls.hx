/** Address arithmetic the Flash API leaves to the movie. */
class Urls {
	/** Resolves a reference against the movie's own address, as a browser resolves a link. */
	public static function resolve(base:String, ref:String):String {
		if (ref == null || ref == "") return base;
		if (~/^[A-Za-z][A-Za-z0-9+.-]*:/.match(ref)) return ref; // already absolute
		if (base == null || base == "") return ref;
		var scheme = base.indexOf("://");
		if (scheme < 0) return ref;
		if (StringTools.startsWith(ref, "//")) return base.substr(0, scheme + 1) + ref;
		var pathStart = base.indexOf("/", scheme + 3);
		var origin = pathStart < 0 ? base : base.substr(0, pathStart);
		if (StringTools.startsWith(ref, "/")) return origin + ref;
		var path = pathStart < 0 ? "/" : base.substr(pathStart);
		var cut = path.length;
		for (mark in ["?", "#"]) {
			var i = path.indexOf(mark);
			if (i >= 0 && i < cut) cut = i;
		}
		path = path.substr(0, cut);
		if (StringTools.startsWith(ref, "?") || StringTools.startsWith(ref, "#")) return origin + path + ref;
		return origin + path.substr(0, path.lastIndexOf("/") + 1) + ref;
	}
}
