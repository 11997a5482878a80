#!/usr/bin/python3
"""The web console driven by headless Chromium against the demo stack (tools/demo in its own
state directory on a free port): log in, see the cameras, paint a cell of the motion schedule and
save it (the database and the core message log show it), search a day of recordings and download
a span (an AVI file arrives and ffprobe reads it). Saves a screenshot of the dashboard with
--screenshot FILE (the README's picture)."""
import argparse
import datetime
import glob
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as ready
from selenium.webdriver.support.ui import WebDriverWait

ARGS = None
MOTION_CHANGED = 1403


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_until(condition, seconds=10.0, what='condition'):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f'timed out waiting for {what}')


class ConsoleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.state = tempfile.mkdtemp(prefix='console-test-')
        cls.downloads = os.path.join(cls.state, 'downloads')
        os.makedirs(cls.downloads)
        cls.port = free_port()
        env = dict(os.environ, STATE=cls.state, PORT=str(cls.port), BIN=os.path.abspath(ARGS.bin), QUIET='1',
                   ZVSIM_DOWNLOAD_SPEED='40')  # a two-minute span arrives in seconds
        cls.demo = subprocess.Popen([os.path.join(ARGS.project, 'tools', 'demo')], env=env,
                                    stdout=subprocess.DEVNULL, start_new_session=True)
        cls.addClassCleanup(cls.stop_demo)
        wait_until(lambda: os.path.exists(os.path.join(cls.state, 'run', 'demo-ready')), 20, 'the demo')
        options = webdriver.ChromeOptions()
        for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--window-size=1280,900', f'--user-data-dir={cls.state}/chromium'):
            options.add_argument(flag)
        options.binary_location = '/usr/bin/chromium'
        options.add_experimental_option('prefs', {'download.default_directory': cls.downloads,
                                                  'download.prompt_for_download': False})
        service = Service(executable_path='/usr/bin/chromedriver')
        cls.browser = webdriver.Chrome(options=options, service=service)
        cls.addClassCleanup(cls.browser.quit)
        cls.browser.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': cls.downloads})
        cls.url = f'http://127.0.0.1:{cls.port}/'
        cls.log_in()

    @classmethod
    def stop_demo(cls):
        os.killpg(cls.demo.pid, signal.SIGTERM)
        cls.demo.wait(10)
        shutil.rmtree(cls.state, ignore_errors=True)

    @classmethod
    def log_in(cls):
        b = cls.browser
        b.get(cls.url)
        WebDriverWait(b, 10).until(ready.element_to_be_clickable((By.ID, 'login-password'))).send_keys('admin')
        b.find_element(By.ID, 'login-submit').click()
        try:
            WebDriverWait(b, 10).until(ready.presence_of_element_located((By.CSS_SELECTOR, '#dash-cameras table')))
        except Exception:
            print(b.current_url, b.find_element(By.TAG_NAME, 'body').text[:2000], file=sys.stderr)
            raise

    def find(self, selector, seconds=10):
        return WebDriverWait(self.browser, seconds).until(
            ready.presence_of_element_located((By.CSS_SELECTOR, selector)))

    def core_messages(self):
        with open(os.path.join(self.state, 'core-messages.log')) as log:
            return [json.loads(line) for line in log if line.strip()]

    @property
    def database(self):
        return os.path.join(self.state, 'mnt', 'nand', 'app', 'zvdb.db')

    def test_1_dashboard_shows_cameras(self):
        self.browser.get(self.url + '#dashboard')
        cameras = self.find('#dash-cameras table tbody')
        wait_until(lambda: cameras.find_elements(By.TAG_NAME, 'tr'), what='camera rows')
        self.find('#dash-users table')
        if ARGS.screenshot:
            self.browser.save_screenshot(ARGS.screenshot)
        self.browser.get(self.url + '#cameras')
        rows = self.find('#camera-list table tbody').find_elements(By.TAG_NAME, 'tr')
        self.assertGreater(len(rows), 0)

    def test_2_painted_schedule_cell_is_saved(self):
        self.browser.get(self.url + '#events')
        # Monday 10:00-10:30 and 10:30-11:00: two cells painted by one drag.
        first = self.find('.schedule td.cell[data-day="1"][data-slot="20"]')
        second = self.find('.schedule td.cell[data-day="1"][data-slot="21"]')
        self.assertNotIn('on', first.get_attribute('class').split())
        webdriver.ActionChains(self.browser).click_and_hold(first).move_to_element(second).release().perform()
        self.assertIn('on', second.get_attribute('class').split())
        before = len(self.core_messages())
        self.find('#motion-save').click()
        wait_until(lambda: any(m['id'] == MOTION_CHANGED and m['payload'][:8] == '00000000'
                               for m in self.core_messages()[before:]), what='the motion notice')
        # The stored schedule record, as the database tool prints it: 8 days of 48 ranges
        # {char start[32], char end[32], int32 action} and two int32 each. Monday's first range is
        # the painted hour.
        dump = subprocess.run([os.path.join(ARGS.bin, 'zvdb'), '--db', self.database, 'dump',
                               'motion_effective_schedule', '0'], capture_output=True, text=True, check=True).stdout
        data = bytes.fromhex(dump.split('days = ', 1)[1].split()[0])
        day = 48 * 68 + 8
        self.assertEqual(len(data), 8 * day)
        text = lambda at: data[at:at + 32].split(b'\0')[0].decode()
        self.assertEqual((text(day), text(day + 32)), ('10:00', '11:00'))
        self.assertEqual(text(day + 68), '', 'one range for the two cells')
        self.assertEqual(text(0), '', 'Sunday stays empty')
        # The page reads the schedule back as it was saved.
        self.browser.refresh()
        self.assertIn('on', self.find('.schedule td.cell[data-day="1"][data-slot="21"]').get_attribute('class').split())

    def test_3_search_and_download_a_recording(self):
        self.browser.get(self.url + '#playback')
        self.find('#playback-search').click()
        timeline = self.find('#playback-timeline')
        wait_until(lambda: timeline.find_elements(By.CSS_SELECTOR, '.section'), what='recorded sections')
        self.find('#playback-download').click()
        avi = wait_until(lambda: [f for f in glob.glob(os.path.join(self.downloads, '*.avi'))], 60, 'the download')[0]
        probe = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'format=format_name,duration',
                                '-of', 'json', avi], capture_output=True, text=True, check=True)
        form = json.loads(probe.stdout)['format']
        self.assertEqual(form['format_name'], 'avi')
        self.assertGreater(float(form['duration']), 60)


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--project', required=True)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--screenshot')
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
