#!/usr/bin/env python3
"""Makes a song tree like a venue's drive: empty song files with Vietnamese titles and
singers (composed and decomposed forms), genre folders and nesting.

usage: make_song_tree.py TREE [--count N] [--list FILE] [--seed S]
"""
import argparse
import os
import random
import unicodedata

WORDS = ("anh em yêu người tình mùa xuân thu hạ đông đêm ngày nắng mưa gió biển sông núi đồi "
         "hoa lá cành trăng sao trời đất quê hương mẹ cha con tuổi thơ nhớ thương buồn vui "
         "hạnh phúc chia tay gặp lại hẹn hò bên nhau mãi mãi một lần cuối cùng phố cũ "
         "hà nội sài gòn huế đà lạt cô gái chàng trai lời ru câu hát giấc mơ ước mong "
         "nỗi đau cô đơn say đắm tình ca ơi về đi đâu khi nào bao giờ không có đã từng").split()
FAMILY = "Nguyễn Trần Lê Phạm Hoàng Huỳnh Phan Vũ Võ Đặng Bùi Đỗ Hồ Ngô Dương Lý".split()
MIDDLE = "Văn Thị Minh Thanh Hồng Ngọc Quang Thu Mỹ Bảo Đức Kim Xuân Hữu".split()
GIVEN = ("Tâm Nhung Tuấn Linh Hà Sơn Dũng Hương Trang Khanh Tùng Phương Quỳnh Vy Long Hải "
         "Hiếu Nam Lan Mai Đào Thảo Ánh Duy Phúc").split()
GENRES = ["NhacMoi", "NhacThieuNhi", "NhacTre", "NhacSong", "NhacTruTinh", "NhacRemix", "NhacSan",
          "NhacNuocNgoai", "NhacLienKhuc", "NhacSongCa", "NhacTanCo", "Khac"]
EXTENSIONS = [".mp4"] * 6 + [".mkv"] * 2 + [".vob", ".vcv"]


def title(rng):
    words = rng.sample(WORDS, rng.randint(2, 6))
    text = " ".join(words)
    return text[0].upper() + text[1:]


def singer(rng):
    if rng.random() < 0.05:
        return ""
    name = f"{rng.choice(FAMILY)} {rng.choice(MIDDLE)} {rng.choice(GIVEN)}"
    if rng.random() < 0.15:
        name = rng.choice(GIVEN) + " " + rng.choice(GIVEN)
    return name


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tree")
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--list")
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    root = os.path.join(args.tree, "Karaoke")
    made = set()
    paths = []
    while len(paths) < args.count:
        genre = rng.choice(GENRES)
        folder = [genre]
        # Some drives sort further by singer or by volume; a few nest deeper.
        depth = rng.choice([0, 0, 1, 1, 2, 3])
        for level in range(depth):
            folder.append(f"Tap {rng.randint(1, 12)}" if level % 2 == 0 else rng.choice(GIVEN))
        name = title(rng)
        who = singer(rng)
        stem = f"{name} - {who}" if who else name
        # A third of the drives were written on systems that store decomposed names.
        form = "NFD" if rng.random() < 0.33 else "NFC"
        relative = os.path.join(*folder, unicodedata.normalize(form, stem) + rng.choice(EXTENSIONS))
        if relative in made:
            continue
        made.add(relative)
        paths.append(relative)
    for number, relative in enumerate(paths, 1):
        full = os.path.join(root, relative)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        open(full, "wb").close()
        if number % 20000 == 0:
            print(f"{number} files", flush=True)
    if args.list:
        with open(args.list, "w", encoding="utf-8") as out:
            out.write("\n".join(paths) + "\n")
    print(f"made {len(paths)} song files under {root}")


if __name__ == "__main__":
    main()
