#!/usr/bin/python3
"""A guest's phone browser against the real player: headless Chromium at a phone's size opens
the page, gives a name, searches "hnmt", queues the song and sees it in the queue; a phone on
the binary protocol and a second page see the same change; the page survives the player's
restart by connecting again. Every wait is for a condition, with a deadline.

usage: browser_test.py BINDIR [SCREENSHOTDIR]   (with a folder: the README's pictures of the page)
"""
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

BIN = sys.argv[1]
SHOTS = sys.argv[2] if len(sys.argv) > 2 else None
DEADLINE = 30  # seconds for any one condition


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def clip(path, seconds):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc=s=320x240:r=10:d={seconds}",
                    "-f", "lavfi", "-i", f"sine=f=330:d={seconds}", "-c:v", "libx264", "-preset", "ultrafast",
                    "-pix_fmt", "yuv420p", "-c:a", "aac", path], check=True)


def wait_for(condition, what):
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


class Player:
    def __init__(self, work, ports):
        self.work, self.ports, self.process = work, ports, None

    def start(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=self.work, XDG_CONFIG_HOME=f"{self.work}/config")
        log = open(f"{self.work}/player.log", "ab")
        self.process = subprocess.Popen(
            [f"{BIN}/vocalis-player", "--no-sound", "--data-dir", f"{self.work}/data", "--songs", f"{self.work}/songs",
             "--intro-clip", f"{self.work}/intro.mp4", "--idle-clip", f"{self.work}/idle.mp4",
             "--media-port", str(self.ports["media"]), "--thumbnail-port", str(self.ports["thumb"]),
             "--remote-port", str(self.ports["remote"]), "--discovery-port", str(self.ports["discovery"]),
             "--web-port", str(self.ports["web"])], env=env, stdout=log, stderr=log)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def api(self, path, body=None):
        request = urllib.request.Request(f"http://127.0.0.1:{self.ports['web']}{path}",
                                         data=None if body is None else json.dumps(body).encode(),
                                         method="GET" if body is None else "POST")
        try:
            with urllib.request.urlopen(request, timeout=5) as answer:
                return json.loads(answer.read())
        except (OSError, ValueError):
            return None

    def remote(self, *args):
        result = subprocess.run([f"{BIN}/vocalis-remote", "--port", str(self.ports["remote"]), *args],
                                capture_output=True, text=True, timeout=20)
        return result.stdout.strip() if result.returncode == 0 else None

    def song_id(self, title):
        for song in self.api("/api/songs?limit=200")["songs"]:
            if song["title"] == title:
                return song["id"]
        raise AssertionError(f"no song {title}")

    def play_first(self, title):
        """Queues a song as soon as the intro has ended (adds during the intro are refused)."""
        wait_for(lambda: (self.api("/api/songs") or {}).get("total") == 3, "the catalogue")
        song = self.song_id(title)

        def playing():
            state = self.api("/api/queue", {"id": song})
            return state and state["current"] and state["current"]["id"] == song
        wait_for(playing, f"{title} to play")


def main():
    work = tempfile.mkdtemp(prefix="vocalis-browser-")
    os.makedirs(f"{work}/songs")
    clip(f"{work}/intro.mp4", 2)
    clip(f"{work}/idle.mp4", 2)
    for name in ["Hạnh Nhân Mùa Thu - Hà", "Anh - Tuấn", "<img src=x onerror=window.pwned=1> - Lạ"]:
        clip(f"{work}/songs/{name}.mp4", 120)
    ports = {"media": free_port(), "thumb": free_port(), "remote": free_port(), "web": free_port(),
             "discovery": free_port()}
    player = Player(work, ports)
    driver = None
    try:
        player.start()
        player.play_first("Anh")

        options = webdriver.ChromeOptions()
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--no-first-run", "--window-size=390,844"]:
            options.add_argument(flag)
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 390, "height": 844, "pixelRatio": 2.0},
            "userAgent": "Mozilla/5.0 (Linux; Android 13; Pixel 7) AppleWebKit/537.36 Chrome/120 Mobile Safari/537.36"})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.set_page_load_timeout(DEADLINE)
        # Lists are drawn anew at every change: an element read a moment ago may be gone.
        wait = WebDriverWait(driver, DEADLINE, ignored_exceptions=[StaleElementReferenceException])

        def shot(name):
            if SHOTS:
                os.makedirs(SHOTS, exist_ok=True)
                driver.save_screenshot(f"{SHOTS}/{name}.png")

        def click(css):
            def clicked(d):
                d.find_element(By.CSS_SELECTOR, css).click()
                return True
            wait.until(clicked)
        url = f"http://127.0.0.1:{ports['web']}/"

        # A first visit asks for the name and keeps it.
        def give_name(name):
            name_input = wait.until(lambda d: d.find_element(By.ID, "name-input"))
            wait.until(lambda d: name_input.is_displayed())
            name_input.clear()
            name_input.send_keys(name)
            if name == "Minh":
                shot("web-1-name")
            driver.find_element(By.ID, "name-save").click()
            wait.until(lambda d: d.find_element(By.ID, "my-name").text == name)

        # A second page, open before the change, must see it without reloading.
        driver.get(url)
        second = driver.current_window_handle
        give_name("Minh")
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-live") == "yes")
        click('.tab[data-tab="queue"]')
        driver.switch_to.new_window("tab")
        driver.get(url)
        first = driver.current_window_handle
        # The name is kept: the page asks no more; this guest changes it.
        wait.until(lambda d: d.find_element(By.ID, "my-name").text == "Minh")
        assert not driver.find_element(By.ID, "name-dialog").is_displayed()
        driver.find_element(By.ID, "change-name").click()
        give_name("Lan <b>")
        wait.until(lambda d: d.find_element(By.ID, "now-title").text == "Anh")

        search = driver.find_element(By.ID, "search")
        search.send_keys("hnmt")

        def only_result(d):
            titles = [row.find_element(By.CLASS_NAME, "title").text
                      for row in d.find_elements(By.CSS_SELECTOR, "#results .song")]
            return titles == ["Hạnh Nhân Mùa Thu"]
        wait.until(only_result)
        click("#pick-key button:last-child")  # this guest sings a semitone up
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "#pick-key .key-value").text == "Tông +1")
        click("#results .song button.add")
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "#results .song button.add").text == "Đã chọn")
        shot("web-2-search")

        click('.tab[data-tab="queue"]')

        def queued_with_name(d):
            rows = d.find_elements(By.CSS_SELECTOR, "#queue .song")
            return len(rows) == 1 and "Hạnh Nhân Mùa Thu" in rows[0].text and "Lan <b>" in rows[0].text
        wait.until(queued_with_name)
        wait.until(lambda d: d.find_element(By.ID, "toast").is_displayed() is False)
        shot("web-3-queue")

        # The phone protocol and the JSON interface see the same change.
        hanh = player.song_id("Hạnh Nhân Mùa Thu")
        assert player.remote("queue") == str(hanh), player.remote("queue")
        state = player.api("/api/state")
        assert state["queue"][0]["name"] == "Lan <b>", state
        assert state["queue"][0]["key"] == 1, state
        # The key controls of a waiting song and of the one playing now, a semitone a press.
        click("#queue .song .key button:last-child")
        wait.until(lambda d: player.api("/api/state")["queue"][0]["key"] == 2)
        click("#now-key button:first-child")
        wait.until(lambda d: player.api("/api/state")["current"]["key"] == -1)
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "#now-key .key-value").text == "Tông −1")

        driver.switch_to.window(second)
        wait.until(queued_with_name)

        # A title made of markup is shown as text and runs nothing.
        driver.switch_to.window(first)
        click('.tab[data-tab="search"]')
        search.clear()
        search.send_keys("img")
        wait.until(lambda d: [r.find_element(By.CLASS_NAME, "title").text
                              for r in d.find_elements(By.CSS_SELECTOR, "#results .song")]
                   == ["<img src=x onerror=window.pwned=1>"])
        assert driver.execute_script("return window.pwned") is None
        assert not driver.find_elements(By.CSS_SELECTOR, "#results img:not(.thumb)")
        try:
            driver.switch_to.alert
            raise AssertionError("an alert opened")
        except NoAlertPresentException:
            pass

        # The player restarts: the page notices, connects again and shows the new state.
        player.stop()
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-live") == "no")
        player.start()
        player.play_first("Hạnh Nhân Mùa Thu")
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-live") == "yes")
        wait.until(lambda d: d.find_element(By.ID, "now-title").text == "Hạnh Nhân Mùa Thu")
        print("browser test passed")
    except Exception:
        if driver:
            try:
                print(driver.find_element(By.TAG_NAME, "body").text, file=sys.stderr)
            except Exception:
                pass
        with open(f"{work}/player.log", "rb") as log:
            sys.stderr.write(log.read().decode(errors="replace")[-3000:])
        raise
    finally:
        if driver:
            driver.quit()
        player.stop()
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
