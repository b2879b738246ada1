#!/usr/bin/env python3
"""Draws every bitmap resource of the launcher (res/<number>.<ext>).

    python3 tools/artwork/generate.py [OUTDIR]      # OUTDIR defaults to res/

All artwork is procedural, so the files can be rebuilt at will; fixed seeds keep
the output byte-for-byte identical between runs.

Each picture is drawn twice: at its own size and, for screens scaled above 100 %,
at twice the size (res/<number>@2x.<ext>, Qt's naming). The second is the same
drawing at scale s = 2, not an enlargement: layout stays in the normal picture's
pixels, and every length that is drawn (lines, blurs, fonts) is multiplied by s.
Needs Pillow, the Noto CJK and DejaVu fonts
(apt-get install python3-pil fonts-noto-cjk fonts-dejavu-core).
"""
import math
import os
import random
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageEnhance, ImageFilter, ImageFont
except ImportError:
    # pyenv and venv interpreters usually lack Debian's Pillow; fall back to the system one.
    if os.path.exists("/usr/bin/python3") and \
            os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("generate.py needs Pillow: apt-get install python3-pil fonts-noto-cjk")

CJK_DIR = "/usr/share/fonts/opentype/noto"
LATIN_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SC = 2  # face index of "Noto Sans CJK SC" inside the .ttc collections

SCREEN = (22, 59, 791, 462)      # the login page is laid exactly over this rectangle
SCREEN_RGB = (10, 10, 14)
ADVISORY = "抵制不良游戏，拒绝盗版游戏。注意自我保护，谨防受骗上当。适度游戏益脑，沉迷游戏伤身。合理安排时间，享受健康生活。"

# Title strip colours, shared by the strip bitmap and the buttons that sit on it.
STRIP_TOP, STRIP_BOTTOM = (92, 58, 34), (34, 20, 11)
BORDER_BROWN = (58, 36, 20)
ORANGE = (255, 138, 20)


def cjk(size, bold=True):
    name = "NotoSansCJK-Bold.ttc" if bold else "NotoSansCJK-Regular.ttc"
    return ImageFont.truetype(os.path.join(CJK_DIR, name), size, index=SC)


# ---------------------------------------------------------------- helpers
def box(s, x0, y0, x1, y1):
    """The pixels x0..x1, y0..y1 (inclusive, normal-size pixels) at scale s."""
    return [x0 * s, y0 * s, (x1 + 1) * s - 1, (y1 + 1) * s - 1]


def pt(s, x, y):
    """A pixel-centre coordinate of the normal picture at scale s."""
    return (x, y) if s == 1 else ((x + 0.5) * s - 0.5, (y + 0.5) * s - 0.5)


def rank(s, n):
    """A rank filter's size (n = 2r + 1) for the same reach at scale s."""
    return (n - 1) * s + 1


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def vgrad(w, h, stops, mode="RGB"):
    """Vertical gradient through [(t, colour), ...] stops, t in 0..1."""
    col = Image.new(mode, (1, h))
    for y in range(h):
        t = y / max(h - 1, 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                col.putpixel((0, y), mix(c0, c1, (t - t0) / ((t1 - t0) or 1)))
                break
    return col.resize((w, h), Image.NEAREST)


def shade(img, factor):
    return ImageEnhance.Brightness(img).enhance(factor)


def supersample(size, draw_fn, k=4, s=1):
    """Anti-aliased coverage mask of the normal size `size` at scale s: draw_fn(draw, u)
    paints white with u = k * s canvas pixels to a normal pixel."""
    big = Image.new("L", (size[0] * k * s, size[1] * k * s), 0)
    draw_fn(ImageDraw.Draw(big), k * s)
    return big.resize((size[0] * s, size[1] * s), Image.LANCZOS)


def solid(size, rgb):
    return Image.new("RGB", size, rgb)


def text_center(img, text, font, fill, shadow=(0, 0, 0), dy=0, dx=0, s=1):
    """Centred text; dx, dy and the shadow's offset are normal pixels."""
    d = ImageDraw.Draw(img)
    l, t, r, b = d.textbbox((0, 0), text, font=font)
    x = (img.width - (r - l)) / 2 - l + dx * s
    y = (img.height - (b - t)) / 2 - t + dy * s
    if shadow is not None:
        d.text((x + s, y + s), text, font=font, fill=shadow)
    d.text((x, y), text, font=font, fill=fill)


def bevel(img, light, dark, inset=0, s=1):
    d = ImageDraw.Draw(img)
    w, h = img.width // s, img.height // s
    i = inset
    d.rectangle(box(s, i, i, i, h - 1 - i), fill=light)
    d.rectangle(box(s, i, i, w - 1 - i, i), fill=light)
    d.rectangle(box(s, i + 1, h - 1 - i, w - 1 - i, h - 1 - i), fill=dark)
    d.rectangle(box(s, w - 1 - i, i + 1, w - 1 - i, h - 1 - i), fill=dark)


def noise(size, seed, amp, blur=0.0):
    rnd = random.Random(seed)
    n = Image.new("L", size)
    n.putdata([max(0, min(255, int(128 + rnd.gauss(0, amp)))) for _ in range(size[0] * size[1])])
    return n.filter(ImageFilter.GaussianBlur(blur)) if blur else n


# ---------------------------------------------------------------- palette writers
def save_palette_binary(img_rgba, path):
    """P image with index 0 transparent, everything else opaque (tRNS 0/255 only)."""
    rgb = img_rgba.convert("RGB")
    q = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = q.getpalette()[:255 * 3]
    pal += [0] * (255 * 3 - len(pal))
    alpha = img_rgba.getchannel("A").tobytes()
    idx = bytes(0 if a < 128 else i + 1 for i, a in zip(q.tobytes(), alpha))
    out = Image.frombytes("P", img_rgba.size, idx)
    out.putpalette([0, 0, 0] + pal)
    out.save(path, transparency=bytes([0] + [255] * 255), optimize=False)


def save_palette_16alpha(img_rgba, path, keep_rect, semi_per_level=3):
    """P image whose palette carries 16 alpha levels (0, 17, ... 255) through tRNS.

    Index 0 is fully transparent, index 1 is the exact colour of keep_rect (so
    that area stays perfectly uniform), then semi_per_level colours for each of
    the 14 partial levels, and the rest for opaque pixels."""
    w, h = img_rgba.size
    levels = img_rgba.getchannel("A").point(lambda a: (a + 8) // 17).tobytes()
    rgb = img_rgba.convert("RGB")
    x0, y0, rw, rh = keep_rect
    keep_rgb = rgb.getpixel((x0, y0))

    # Opaque colours: non-opaque pixels borrow the screen colour so they cost no palette slots.
    opaque_mask = Image.frombytes("L", (w, h), bytes(255 if l == 15 else 0 for l in levels))
    ops = Image.composite(rgb, solid((w, h), keep_rgb), opaque_mask)
    n_semi = 14 * semi_per_level
    base_op = 2 + n_semi
    q = ops.quantize(colors=256 - base_op, method=Image.Quantize.MEDIANCUT,
                     dither=Image.Dither.FLOYDSTEINBERG)
    op_idx = q.tobytes()
    palette = [0, 0, 0] + list(keep_rgb) + [0] * (3 * n_semi)
    palette += q.getpalette()[:(256 - base_op) * 3]
    palette += [0] * (768 - len(palette))
    trns = [0, 255]
    for lv in range(1, 15):
        trns += [lv * 17] * semi_per_level
    trns += [255] * (256 - len(trns))

    # Partial levels: a few representative colours each (mostly shadow and glow).
    rgb_bytes = rgb.tobytes()
    by_level = {lv: [] for lv in range(1, 15)}
    for i, lv in enumerate(levels):
        if 0 < lv < 15:
            by_level[lv].append(i)
    out = bytearray(op_idx[i] + base_op for i in range(w * h))
    for i, lv in enumerate(levels):
        if lv == 0:
            out[i] = 0
    for lv, pix in by_level.items():
        base = 2 + (lv - 1) * semi_per_level
        if not pix:
            continue
        strip = Image.frombytes("RGB", (len(pix), 1),
                                b"".join(rgb_bytes[3 * i:3 * i + 3] for i in pix))
        sq = strip.quantize(colors=semi_per_level, method=Image.Quantize.MEDIANCUT,
                            dither=Image.Dither.NONE)
        spal = sq.getpalette()
        for k in range(semi_per_level):
            palette[3 * (base + k):3 * (base + k) + 3] = (spal[3 * k:3 * k + 3] + [0, 0, 0])[:3]
        for i, s in zip(pix, sq.tobytes()):
            out[i] = base + s
    for y in range(y0, y0 + rh):
        out[y * w + x0:y * w + x0 + rw] = b"\x01" * rw
    img = Image.frombytes("P", (w, h), bytes(out))
    img.putpalette(palette)
    img.save(path, transparency=bytes(trns), optimize=False)


# ---------------------------------------------------------------- login window (146)
def capsule(d, p, q, r):
    d.line([p, q], fill=255, width=int(2 * r))
    for c in (p, q):
        d.ellipse([c[0] - r, c[1] - r, c[0] + r, c[1] + r], fill=255)


def logo_glyphs(height, s=1):
    """'Tavrin' in slanted bold letters: an anti-aliased mask, `height` normal pixels high."""
    k = 3
    font = ImageFont.truetype(LATIN_BOLD, height * k * s)
    tmp = Image.new("L", (height * 6 * k * s, height * 2 * k * s), 0)
    ImageDraw.Draw(tmp).text((height * k * s // 2, height * k * s // 3), "Tavrin", font=font, fill=255)
    shear = 0.22
    tmp = tmp.transform(tmp.size, Image.AFFINE, (1, shear, -shear * tmp.height / 2, 0, 1, 0),
                        resample=Image.BICUBIC)
    tmp = tmp.crop(tmp.getbbox())
    return tmp.resize((tmp.width // k, tmp.height // k), Image.LANCZOS)


def logo_layer(size, origin, height, s=1):
    """'Tavrin' in slanted, gold-to-fire lettering with a dark outline and a warm glow."""
    pad = 8 * s
    glyphs = logo_glyphs(height, s)
    # room around the letters for outline and glow
    mask = Image.new("L", (glyphs.width + 2 * pad, glyphs.height + 2 * pad), 0)
    mask.paste(glyphs, (pad, pad))
    w, h = mask.size
    fill = vgrad(w, h, [(0, (255, 250, 200)), (0.45, (255, 196, 40)), (0.55, (240, 120, 10)),
                        (1, (170, 30, 8))])
    outline = mask.filter(ImageFilter.MaxFilter(rank(s, 5)))
    glow = mask.filter(ImageFilter.MaxFilter(rank(s, 7))).filter(ImageFilter.GaussianBlur(4 * s))
    layer = Image.new("RGBA", (size[0] * s, size[1] * s), (0, 0, 0, 0))
    ox, oy = origin[0] * s - pad, origin[1] * s - pad
    layer.paste((255, 110, 0, 255), (ox, oy), glow.point(lambda a: a * 4 // 5))
    layer.paste((30, 6, 2, 255), (ox, oy), outline)
    layer.paste(fill, (ox, oy), mask)
    # a thin highlight band across the upper part of the letters
    hl = Image.new("L", (w, h), 0)
    ImageDraw.Draw(hl).rectangle([0, pad + int(glyphs.height * 0.14), w, pad + int(glyphs.height * 0.24)], fill=120)
    layer.paste((255, 255, 255, 255), (ox, oy), ImageChops.multiply(hl, mask))
    return layer


def fighter_mask(size, k=3, s=1):
    """A rising-uppercut silhouette bursting out of the right-hand side of the cabinet."""
    limbs = [  # (from, to, radius)
        ((846, 50), (848, 22), 4.5), ((834, 82), (846, 50), 5.5),       # raised front arm
        ((824, 92), (814, 116), 5), ((814, 116), (826, 132), 4.5),     # guarding back arm
        ((842, 156), (856, 176), 7), ((856, 176), (850, 214), 5),      # knee driven up
        ((830, 158), (826, 204), 7), ((826, 204), (816, 246), 5),      # trailing leg
        ((842, 94), (847, 86), 4),                                     # neck
    ]

    def draw(d, k):
        s = lambda *pts: [(x * k, y * k) for x, y in pts]
        for p, q, r in limbs:
            capsule(d, (p[0] * k, p[1] * k), (q[0] * k, q[1] * k), r * k)
        d.ellipse(s((840, 8), (856, 26)), fill=255)                     # fist
        d.ellipse(s((842, 70), (860, 90)), fill=255)                    # head
        d.polygon(s((822, 88), (844, 90), (846, 118), (846, 160), (826, 162), (822, 124)), fill=255)
        d.polygon(s((844, 210), (856, 212), (858, 220), (842, 218)), fill=255)    # front foot
        d.polygon(s((812, 242), (820, 244), (816, 262), (812, 260)), fill=255)    # pointed back foot
        d.polygon(s((856, 74), (862, 82), (860, 96), (855, 86)), fill=255)        # headband tail
    return supersample(size, draw, k, s)


def draw_login(path, s=1):
    W, H = 862, 543
    sx, sy, sw, sh = SCREEN
    B = lambda *v: box(s, *v)
    P = lambda *xy: [pt(s, x, y) for x, y in zip(xy[::2], xy[1::2])]
    art = Image.new("RGBA", (W * s, H * s), (0, 0, 0, 0))
    logo = logo_layer((W, H), (16, 6), 62, s)
    crest_r = 16 + logo_glyphs(62).width + 26  # laid out in normal pixels at every scale

    # The fighter's exit: a jagged bite out of the right-hand side panel.
    bite = [(812, 34), (830, 26), (848, 40), (838, 70), (848, 104), (836, 150), (846, 196),
            (834, 240), (842, 286), (824, 312), (812, 316)]

    # Cabinet outline: a logo crest on the top left, a lower marquee band elsewhere.
    def body(d, k):
        s = lambda *pts: [(x * k, y * k) for x, y in pts]
        d.rounded_rectangle([4 * k, 28 * k, 836 * k, 539 * k], radius=14 * k, fill=255)
        d.rounded_rectangle([4 * k, 3 * k, crest_r * k, 60 * k], radius=12 * k, fill=255)
        d.polygon(s((crest_r - 20, 3), (crest_r, 3), (crest_r + 52, 28), (crest_r + 52, 60),
                    (crest_r - 20, 60)), fill=255)
        d.polygon(s(*bite), fill=0)
    body_mask = supersample((W, H), body, s=s)

    # soft drop shadow so the odd window shape sits on the desktop
    shadow = body_mask.filter(ImageFilter.GaussianBlur(3 * s)).point(lambda a: a * 3 // 5)
    art.paste((0, 0, 0, 255), (0, 0), ImageChops.offset(shadow, 2 * s, 3 * s))

    lacquer = vgrad(W * s, H * s, [(0, (124, 24, 14)), (0.12, (88, 14, 10)), (1, (40, 6, 6))])
    grain = noise((W // 2, H // 2), 146, 10, 0.8).resize((W * s, H * s), Image.BILINEAR)
    lacquer = ImageChops.overlay(lacquer, Image.merge("RGB", [grain] * 3))
    art.paste(lacquer, (0, 0), body_mask)

    d = ImageDraw.Draw(art)
    # gold T-moulding along the outer edge, with a dark groove inside it
    shrink = lambda m, n: m.filter(ImageFilter.MinFilter(rank(s, n)))
    art.paste((232, 150, 40, 255), (0, 0), ImageChops.subtract(body_mask, shrink(body_mask, 5)))
    art.paste((60, 10, 4, 255), (0, 0), ImageChops.subtract(shrink(body_mask, 5), shrink(body_mask, 7)))

    # bottom console strip that carries the advisory
    d.rounded_rectangle(B(30, sy + sh + 3, 822, 537), radius=3 * s, fill=(20, 7, 7, 255),
                        outline=(96, 26, 12, 255), width=s)

    # chaser bulbs and a speaker grille on the marquee band
    for i, x in enumerate(range(crest_r + 70, 650, 16)):
        on = i % 3 != 2
        if on:
            halo = Image.new("L", (W * s, H * s), 0)
            ImageDraw.Draw(halo).ellipse(B(x - 7, 37, x + 7, 51), fill=120)
            art.paste((255, 150, 30, 255), (0, 0), halo.filter(ImageFilter.GaussianBlur(3 * s)))
        d.ellipse(B(x - 4, 40, x + 4, 48), fill=(255, 214, 90, 255) if on else (110, 60, 20, 255),
                  outline=(60, 20, 6, 255), width=s)
        d.rectangle(B(x - 1, 42, x - 1, 42), fill=(255, 255, 240, 255))
    for x in range(668, 790, 8):
        d.rounded_rectangle(B(x, 37, x + 4, 52), radius=2 * s, fill=(16, 4, 4, 255),
                            outline=(140, 40, 18, 255), width=s)
    for x, y in ((14, 40), (822, 40), (14, 528), (822, 528)):
        d.ellipse(B(x - 3, y - 3, x + 3, y + 3), fill=(190, 170, 150, 255), outline=(50, 30, 20, 255),
                  width=s)
        d.line(P(x - 2, y + 2, x + 2, y - 2), fill=(70, 50, 40, 255), width=s)

    # glowing rim around the screen
    rim = Image.new("L", (W * s, H * s), 0)
    ImageDraw.Draw(rim).rectangle(B(sx - 4, sy - 4, sx + sw + 3, sy + sh + 3), outline=255, width=2 * s)
    art.paste((255, 120, 20, 255), (0, 0),
              ImageChops.multiply(rim.filter(ImageFilter.GaussianBlur(2 * s)), body_mask))
    d.rectangle(B(sx - 3, sy - 3, sx + sw + 2, sy + sh + 2), outline=(255, 190, 80, 255), width=s)
    d.rectangle(B(sx - 2, sy - 2, sx + sw + 1, sy + sh + 1), outline=(20, 4, 4, 255), width=2 * s)

    # broken edge of the side panel glows where the fighter tore through
    edge = supersample((W, H), lambda dd, k: dd.line([(x * k, y * k) for x, y in bite], fill=255, width=3 * k),
                       s=s)
    art.paste((255, 200, 90, 255), (0, 0),
              ImageChops.multiply(edge, body_mask.filter(ImageFilter.MaxFilter(rank(s, 3)))))
    rnd = random.Random(1460)
    for x, y in bite[1:-1]:  # hairline cracks running back into the panel
        cx, cy = x - 4, y
        for _ in range(2):
            nx, ny = cx - rnd.uniform(6, 14), cy + rnd.uniform(-8, 8)
            d.line(P(cx, cy, nx, ny), fill=(255, 150, 50, 255), width=s)
            cx, cy = nx, ny

    shards = Image.new("L", (W * s, H * s), 0)
    sd = ImageDraw.Draw(shards)
    for _ in range(12):
        cx, cy = rnd.uniform(840, 859), rnd.uniform(100, 330)
        r, a0 = rnd.uniform(2, 4.5), rnd.uniform(0, math.tau)
        sd.polygon([pt(s, cx + r * math.cos(a0 + j * 2.1 + rnd.uniform(-.3, .3)),
                       cy + r * math.sin(a0 + j * 2.1)) for j in range(3)], fill=255)
    art.paste((255, 170, 60, 255), (0, 0), shards.filter(ImageFilter.MaxFilter(rank(s, 3))))
    art.paste((120, 22, 12, 255), (0, 0), shards)

    # the fighter, wrapped in a layered flame aura; the fist burns brightest
    fig = fighter_mask((W, H), s=s)
    fist = Image.new("L", (W * s, H * s), 0)
    ImageDraw.Draw(fist).ellipse(B(834, 0, 862, 32), fill=255)
    for grow, blur, col, amt in ((11, 6, (210, 40, 0), 0.8), (7, 3, (255, 130, 20), 0.85),
                                 (3, 1, (255, 226, 120), 1.0)):
        halo = fig.filter(ImageFilter.MaxFilter(rank(s, grow))).filter(ImageFilter.GaussianBlur(blur * s))
        art.paste(col + (255,), (0, 0), halo.point(lambda a, amt=amt: int(a * amt)))
    art.paste((255, 200, 80, 255), (0, 0), fist.filter(ImageFilter.GaussianBlur(6 * s)))
    body_fill = vgrad(W * s, H * s, [(0, (96, 30, 44)), (0.45, (40, 12, 24)), (1, (16, 4, 10))])
    art.paste(body_fill, (0, 0), fig)
    lit = ImageChops.subtract(fig, ImageChops.offset(fig, 2 * s, s))  # rim light from the fire on the right
    art.paste((255, 170, 70, 255), (0, 0), lit.point(lambda a: a * 3 // 4))
    for _ in range(14):  # speed streaks trailing below the rising fighter
        cx, cy = rnd.uniform(834, 860), rnd.uniform(230, 330)
        d.line(P(cx, cy, cx - 1, cy + rnd.uniform(6, 16)), fill=(255, 214, 120, 255), width=s)

    art.alpha_composite(logo)

    # joystick on the lower left corner of the console
    d.ellipse(B(2, 526, 30, 540), fill=(22, 22, 26, 255), outline=(130, 130, 140, 255), width=s)
    d.line(P(16, 532, 12, 506), fill=(160, 160, 170, 255), width=4 * s)
    d.line(P(15, 532, 11, 506), fill=(235, 235, 245, 255), width=s)
    d.ellipse(B(2, 490, 21, 509), fill=(212, 24, 24, 255), outline=(70, 0, 0, 255), width=s)
    d.ellipse(B(6, 493, 12, 498), fill=(255, 160, 160, 255))

    # healthy-gaming advisory
    strip = Image.new("RGBA", (792 * s, 14 * s), (0, 0, 0, 0))
    text_center(strip, ADVISORY, cjk(12 * s, bold=False), (255, 52, 44, 255), shadow=None, s=s)
    art.alpha_composite(strip, (30 * s, (sy + sh + 3) * s))

    # Fade the outermost pixels so glow never ends in a hard cut at the image border
    # and the corners stay clear of the window shape.
    fade = Image.new("L", (W * s, H * s), 0)
    for i in range(4):
        ImageDraw.Draw(fade).rectangle(B(i, i, W - 1 - i, H - 1 - i), fill=min(255, i * 85))
    art.putalpha(ImageChops.multiply(art.getchannel("A"), fade))
    ImageDraw.Draw(art).rectangle(B(sx, sy, sx + sw - 1, sy + sh - 1), fill=SCREEN_RGB + (255,))
    save_palette_16alpha(art, path, (sx * s, sy * s, sw * s, sh * s))


# ---------------------------------------------------------------- small controls
def lacquer_button(label, state, s=1):
    w, h = 86, 26
    f = {"normal": 1.0, "hover": 1.22, "pressed": 0.72}[state]
    img = vgrad(w * s, h * s, [(0, (250, 128, 72)), (0.48, (222, 74, 30)), (0.52, (196, 52, 18)), (1, (150, 36, 12))])
    img = shade(img, f)
    if state == "pressed":
        img = img.transpose(Image.FLIP_TOP_BOTTOM)  # lit from below reads as pushed in
    d = ImageDraw.Draw(img)
    d.rectangle(box(s, 0, 0, w - 1, h - 1), outline=(52, 12, 4), width=s)
    d.rectangle(box(s, 1, 1, w - 2, 1), fill=mix((255, 200, 160), (0, 0, 0), 1 - min(f, 1)))
    text_center(img, label, cjk(13 * s), (255, 255, 255), shadow=(90, 20, 4),
                dy=1 if state == "pressed" else 0, dx=1 if state == "pressed" else 0, s=s)
    return img


def stone_square(size, state, glyph, seed, s=1):
    w, h = size
    f = {"normal": 1.0, "hover": 1.2, "pressed": 0.75}[state]
    n = noise(size, seed, 16, 0.5)
    if s > 1:  # the same stone, only finer
        n = n.resize((w * s, h * s), Image.BICUBIC)
    base = Image.merge("RGB", [n.point(lambda v, c=c: max(0, min(255, v - 128 + c))) for c in (138, 132, 124)])
    img = shade(base, f)
    bevel(img, mix((230, 225, 215), (0, 0, 0), 1 - f) if f <= 1 else (245, 240, 230),
          (60, 54, 48), inset=1, s=s)
    ImageDraw.Draw(img).rectangle(box(s, 0, 0, w - 1, h - 1), outline=(32, 28, 24), width=s)

    def g(d, k):
        cx, cy = w * k / 2, h * k / 2
        if glyph == "dash":
            d.rectangle([cx - 5 * k, cy - 1.5 * k, cx + 5 * k, cy + 1.5 * k], fill=255)
        else:
            r = 4.5 * k
            d.line([(cx - r, cy - r), (cx + r, cy + r)], fill=255, width=int(2.6 * k))
            d.line([(cx - r, cy + r), (cx + r, cy - r)], fill=255, width=int(2.6 * k))
    m = supersample(size, g, s=s)
    img.paste((60, 0, 0), (0, 0), m.filter(ImageFilter.MaxFilter(rank(s, 3))))
    img.paste(shade(solid(img.size, (222, 30, 24)), max(f, 0.85)), (0, 0), m)
    return img


def refresh_button(state, s=1):
    w, h = 44, 19
    f = {"normal": 1.0, "hover": 1.15, "pressed": 0.75}[state]
    img = shade(vgrad(w * s, h * s, [(0, (150, 100, 62)), (0.5, (112, 70, 40)), (1, (74, 44, 24))]), f)
    d = ImageDraw.Draw(img)
    d.rectangle(box(s, 0, 0, w - 1, h - 1), outline=(255, 168, 70) if state == "hover" else (40, 22, 10),
                width=s)
    text_center(img, "刷新", cjk(12 * s), (255, 255, 255), shadow=(40, 20, 8),
                dy=1 if state == "pressed" else 0, s=s)
    return img


# ---------------------------------------------------------------- game window frame
def strip_column(h, s=1):
    col = vgrad(1, h * s, [(0, STRIP_TOP), (1, STRIP_BOTTOM)])
    for y in range(s):
        col.putpixel((0, y), (0, 0, 0))
    return col


def title_button(w, glyph, look, s=1):
    h = 29
    if look == "normal":  # the strip's own 28 rows, so the button is seamless on it
        bg = solid((w * s, h * s), STRIP_BOTTOM)
        bg.paste(strip_column(28, s).resize((w * s, 28 * s)), (0, 0))
    elif look == "gold":
        bg = vgrad(w * s, h * s, [(0, (0, 0, 0)), (0.04, (255, 226, 130)), (0.5, (226, 162, 40)), (1, (150, 92, 14))])
    else:  # red
        bg = vgrad(w * s, h * s, [(0, (0, 0, 0)), (0.04, (250, 110, 90)), (0.5, (210, 36, 24)), (1, (130, 14, 8))])
    img = bg.convert("RGBA")
    a = Image.new("L", (w * s, h * s), 255)
    if look != "normal":  # rounded lower corners let the strip show around the lit plate
        for x, y in ((0, h - 1), (w - 1, h - 1)):
            ImageDraw.Draw(a).rectangle(box(s, x, y, x, y), fill=0)
        bevel_d = ImageDraw.Draw(img)
        bevel_d.rectangle(box(s, 0, 1, 0, h - 2), fill=(40, 20, 8, 255))
        bevel_d.rectangle(box(s, w - 1, 1, w - 1, h - 2), fill=(40, 20, 8, 255))
        bevel_d.rectangle(box(s, 1, h - 1, w - 2, h - 1), fill=(40, 20, 8, 255))
    img.putalpha(a)
    cx, cy = w // 2, 15

    def g(d, k):
        X = lambda v: (cx + v) * k
        Y = lambda v: (cy + v) * k
        if glyph == "max":
            d.rectangle([X(-5), Y(-5), X(5), Y(5)], outline=255, width=2 * k)
            d.rectangle([X(-5), Y(-5), X(5), Y(-3)], fill=255)
        elif glyph == "min":
            d.rectangle([X(-5), Y(2), X(5), Y(4)], fill=255)
        elif glyph == "restore":
            d.rectangle([X(-2), Y(-6), X(6), Y(2)], outline=255, width=2 * k)
            d.rectangle([X(-6), Y(-2), X(2), Y(6)], fill=0)
            d.rectangle([X(-6), Y(-2), X(2), Y(6)], outline=255, width=2 * k)
        else:
            d.line([(X(-5), Y(-5)), (X(5), Y(5))], fill=255, width=int(2.4 * k))
            d.line([(X(-5), Y(5)), (X(5), Y(-5))], fill=255, width=int(2.4 * k))
    m = supersample((w, h), g, 4, s)
    img.paste((40, 16, 4, 255), (s, s), m)   # drop shadow keeps the white glyph legible on gold
    img.paste((255, 255, 255, 255), (0, 0), m)
    img.putalpha(a)
    return img


def emblem(size, rich, s=1):
    """The game's emblem: a blade-like 'T' in orange inside an orange frame."""
    k = 8 if size < 64 else 4
    S = size * k * s
    u = lambda v: v * S

    def frame(d, k):
        d.rounded_rectangle([0, 0, S - 1, S - 1], radius=u(0.14 if rich else 0.06), fill=255)

    def hole(d, k):
        t = 0.07 if rich else max(0.05, 1.0 / size)
        d.rounded_rectangle([u(t), u(t), S - 1 - u(t), S - 1 - u(t)], radius=u(0.09 if rich else 0.03), fill=255)

    def tee(d, k):
        d.polygon([(u(x), u(y)) for x, y in ((0.16, 0.2), (0.84, 0.2), (0.76, 0.36), (0.58, 0.36),
                                               (0.58, 0.70), (0.5, 0.86), (0.42, 0.70), (0.42, 0.36),
                                               (0.24, 0.36))], fill=255)
        if rich:  # small guard wings under the bar
            d.polygon([(u(x), u(y)) for x, y in ((0.26, 0.42), (0.38, 0.42), (0.38, 0.52))], fill=255)
            d.polygon([(u(x), u(y)) for x, y in ((0.74, 0.42), (0.62, 0.42), (0.62, 0.52))], fill=255)
    fm, hm, tm = (supersample((size, size), fn, k, s) for fn in (frame, hole, tee))
    n = size * s
    if not rich:
        img = solid((n, n), ORANGE)
        img.paste((0, 0, 0), (0, 0), hm)
        img.paste(ORANGE, (0, 0), tm)
        return img
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    img.paste(vgrad(n, n, [(0, (255, 214, 120)), (0.5, (255, 138, 20)), (1, (170, 60, 6))]), (0, 0), fm)
    inside = vgrad(n, n, [(0, (44, 22, 14)), (1, (6, 3, 2))])
    img.paste(inside, (0, 0), hm)
    glow = tm.filter(ImageFilter.GaussianBlur(n / 24)).point(lambda a: a * 3 // 4)
    img.paste((255, 100, 0), (0, 0), ImageChops.multiply(glow, hm))
    img.paste(vgrad(n, n, [(0, (255, 240, 170)), (0.35, (255, 170, 40)), (1, (220, 80, 8))]), (0, 0), tm)
    if size >= 48:  # a dark inner edge gives the blade some depth where there is room for it
        img.paste((90, 30, 0), (0, 0), ImageChops.subtract(tm, tm.filter(ImageFilter.MinFilter(rank(s, 3)))))
    img.putalpha(fm)
    return img


# ---------------------------------------------------------------- resource table
BUTTON_LABELS = {"official": "官方网站", "recharge": "充值系统", "forum": "游戏论坛", "service": "客服系统"}
LINK_BUTTONS = {  # id: (group, state)
    149: ("official", "normal"), 148: ("official", "hover"), 147: ("official", "pressed"),
    152: ("recharge", "normal"), 151: ("recharge", "hover"), 153: ("recharge", "pressed"),
    155: ("forum", "normal"), 154: ("forum", "hover"), 150: ("forum", "pressed"),
    158: ("service", "normal"), 157: ("service", "hover"), 156: ("service", "pressed"),
}
STONE = {159: ("dash", "pressed", (24, 21)), 163: ("dash", "hover", (24, 21)), 164: ("dash", "normal", (24, 21)),
         160: ("cross", "hover", (23, 21)), 161: ("cross", "normal", (23, 21)), 162: ("cross", "pressed", (23, 21))}
REFRESH = {165: "pressed", 166: "hover", 167: "normal"}
TITLE_BUTTONS = {174: (27, "max", "normal"), 177: (27, "max", "gold"),
                 175: (26, "min", "gold"), 176: (26, "min", "normal"),
                 178: (27, "restore", "normal"), 181: (27, "restore", "gold"),
                 179: (33, "close", "red"), 180: (33, "close", "normal")}


def frame_bitmaps(p, s=1):
    strip_column(28, s).resize((10 * s, 28 * s)).save(p(139, "bmp"), "BMP")
    bottom = Image.new("RGB", (10 * s, 2 * s), BORDER_BROWN)
    ImageDraw.Draw(bottom).rectangle(box(s, 0, 1, 9, 1), fill=(0, 0, 0))
    bottom.save(p(141, "bmp"), "BMP")
    left = Image.new("RGB", (2 * s, 20 * s), BORDER_BROWN)
    ImageDraw.Draw(left).rectangle(box(s, 0, 0, 0, 19), fill=(0, 0, 0))
    left.save(p(142, "bmp"), "BMP")
    right = Image.new("RGB", (2 * s, 20 * s), BORDER_BROWN)
    ImageDraw.Draw(right).rectangle(box(s, 1, 0, 1, 19), fill=(0, 0, 0))
    right.save(p(189, "bmp"), "BMP")
    emblem(20, rich=False, s=s).save(p(143, "bmp"), "BMP")


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res")
    os.makedirs(out, exist_ok=True)
    written = 0
    for s, suffix in ((1, ""), (2, "@2x")):
        p = lambda n, ext="png": os.path.join(out, f"{n}{suffix}.{ext}")
        draw_login(p(146), s)
        written += 1
        for n, (group, state) in LINK_BUTTONS.items():
            lacquer_button(BUTTON_LABELS[group], state, s).save(p(n))
            written += 1
        for n, (glyph, state, size) in STONE.items():
            stone_square(size, state, glyph, seed=159 if glyph == "dash" else 160, s=s).save(p(n))
            written += 1
        for n, state in REFRESH.items():
            refresh_button(state, s).save(p(n))
            written += 1
        for n, (w, glyph, look) in TITLE_BUTTONS.items():
            save_palette_binary(title_button(w, glyph, look, s), p(n))
            written += 1
        frame_bitmaps(p, s)
        written += 5
    # The application icon already holds every size a desktop asks for.
    p = lambda n, ext="png": os.path.join(out, f"{n}.{ext}")
    big = emblem(256, rich=True)
    big.save(p(128))
    big.save(p(128, "ico"), sizes=[(16, 16), (32, 32), (48, 48), (256, 256)],
             append_images=[emblem(s, rich=True) for s in (16, 32, 48)])
    written += 2
    print(f"artwork: wrote {written} files to {out}")


if __name__ == "__main__":
    main()
