"""Logs in to a running status page, waits for a number of console cards and saves a screenshot.

usage: screenshot.py URL KEY CARDS OUT.png
"""
import os
import shutil
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def main():
    url, key, cards, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    profile = tempfile.mkdtemp(prefix="status-shot-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
              "--window-size=1280,2400", "--user-data-dir=" + profile):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    try:
        driver.get(url)
        end = time.monotonic() + 20
        while not driver.find_element(By.ID, "login-key").is_displayed() and time.monotonic() < end:
            time.sleep(0.1)
        driver.find_element(By.ID, "login-key").send_keys(key + "\n")
        shown = 0
        while time.monotonic() < end:
            shown = len(driver.find_elements(By.CSS_SELECTOR, "#consoles li.card"))
            if shown >= cards:
                break
            time.sleep(0.2)
        time.sleep(0.5)
        driver.save_screenshot(out)
        print("%d console cards shown, screenshot in %s" % (shown, out))
        return 0 if shown >= cards else 1
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
