#!/usr/bin/python3
"""The web console driven by headless Chromium against the demo stack (tools/demo in its own
state directory on a free port): log in, see the cameras, paint a cell of the motion schedule and
save it (the database and the core message log show it), search a day of recordings and download
a span (an AVI file arrives and ffprobe reads it), and one step per page that changes something,
checked by a read back (a reload, the core message log, the database or a downloaded file).
Saves a screenshot of the dashboard with --screenshot FILE (the README's picture)."""
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
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as ready
from selenium.webdriver.support.ui import Select, WebDriverWait

ARGS = None
MOTION_CHANGED = 1403
USERS_CHANGED = 3505
IMAGE_SET = 3280
SMART_EVENT_CHANGED = 1412
VIDEO_LOSSES_CHANGED = 1414
ALARM_INS_CHANGED = 1415
RECORD_PLANS_CHANGED = 1411
RECORD_MODES_CHANGED = 1413
NETWORK_CHANGED = 1702
CHANNEL_0 = '0100000000000000'  # a ChannelMask64 of channel 0, low word first


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

    def new_messages(self, before, message_id, payload_prefix=''):
        return wait_until(lambda: [m for m in self.core_messages()[before:]
                                   if m['id'] == message_id and m['payload'].startswith(payload_prefix)],
                          what=f'message {message_id}')

    def webreq(self, request, body=None):
        """One request to the back end as the logged-in administrator, for read backs."""
        data = None if body is None else (body if isinstance(body, str) else json.dumps(body)).encode()
        call = urllib.request.Request(f'{self.url}cgi-bin/webreq{request}', data=data,
                                      headers={'Cookie': 'userName=admin', 'Content-Type': 'application/json'})
        with urllib.request.urlopen(call, timeout=10) as reply:
            text = reply.read().decode()
        try:
            return json.loads(text)
        except ValueError:
            return text.strip()

    def read_image_settings(self, channel):
        """Reads the image settings of `channel` once: choosing another channel reads them, Read does
        for the one already chosen (both would replace the form while the test holds its fields)."""
        select = Select(self.find('#image-channel'))
        if select.first_selected_option.get_attribute('value') != channel:
            select.select_by_value(channel)
        else:
            self.find('#image-read').click()

    def toast(self, text):
        """Waits for the notice line to say text; fails at once on an error notice."""
        box = self.find('#toast')
        said = wait_until(lambda: box.text if box.text and 'show' in box.get_attribute('class') else None,
                          what=f'the notice "{text}"')
        self.assertIn(text, said)
        self.browser.execute_script("arguments[0].classList.remove('show'); arguments[0].textContent = ''", box)

    def set_value(self, selector, value):
        field = self.find(selector)
        field.clear()
        field.send_keys(str(value))

    def open_page(self, name, ready_selector):
        self.browser.get(self.url + '#' + name)
        self.browser.refresh()
        return self.find(ready_selector)

    def paint(self, grid, day, slot):
        cell = self.find(f'{grid} .schedule td.cell[data-day="{day}"][data-slot="{slot}"]')
        self.assertNotIn('on', cell.get_attribute('class').split())
        cell.click()
        self.assertIn('on', cell.get_attribute('class').split())

    def painted(self, grid, day, slot):
        return 'on' in self.find(f'{grid} .schedule td.cell[data-day="{day}"][data-slot="{slot}"]').get_attribute('class').split()

    @property
    def database(self):
        return os.path.join(self.state, 'mnt', 'nand', 'app', 'zvdb.db')

    def test_1_dashboard_shows_cameras(self):
        self.browser.get(self.url + '#dashboard')
        cameras = self.find('#dash-cameras table tbody')
        wait_until(lambda: cameras.find_elements(By.TAG_NAME, 'tr'), what='camera rows')
        self.find('#dash-users table')
        # Every navigation link on one line at 1280 px.
        tops = self.browser.execute_script(
            "return Array.from(document.querySelectorAll('#nav a')).map(a => a.getBoundingClientRect().top)")
        self.assertEqual(len(set(tops)), 1, tops)
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

    def test_4_users_add_edit_delete(self):
        b = self.browser
        self.open_page('users', '#user-form')
        self.assertFalse(b.find_elements(By.CSS_SELECTOR, '#user-delete-0'), 'the account in use is not offered for deletion')
        before = len(self.core_messages())
        self.set_value('#user-name', 'operator7')
        self.set_value('#user-password', 'secret7')
        self.set_value('#user-permission', -2)  # the first value below the range
        self.find('#user-save').click()
        self.toast('permission must be -1 or more')
        self.set_value('#user-permission', -1)
        Select(self.find('#user-type')).select_by_value('1')
        self.find('#user-localPlayback').click()  # off
        self.find('#user-save').click()
        self.toast('user saved')
        added = wait_until(lambda: [u for u in self.webreq('/6070') if u['name'] == 'operator7'], what='the new user')[0]
        self.assertEqual((added['type'], added['localPlayback'], added['localLiveView']), (1, 0, 1))
        self.assertEqual(len(added['password']), 32, 'the digest is stored, never the password')
        self.assertNotEqual(added['password'], 'secret7')
        self.new_messages(before, USERS_CHANGED)
        # The same name again is refused with the reason.
        self.set_value('#user-name', 'operator7')
        self.set_value('#user-password', 'other')
        self.find('#user-save').click()
        self.toast('another user has that name')
        # Edit: the type changes, the stored password stays.
        self.find(f'#user-edit-{added["id"]}').click()
        self.assertEqual(self.find('#user-name').get_attribute('value'), 'operator7')
        Select(self.find('#user-type')).select_by_value('2')
        self.find('#user-save').click()
        self.toast('user saved')
        edited = wait_until(lambda: [u for u in self.webreq('/6070') if u['name'] == 'operator7' and u['type'] == 2],
                            what='the edited user')[0]
        self.assertEqual(edited['password'], added['password'])
        # Delete, after the confirmation.
        before = len(self.core_messages())
        self.find(f'#user-delete-{added["id"]}').click()
        WebDriverWait(b, 5).until(ready.alert_is_present()).accept()
        wait_until(lambda: not [u for u in self.webreq('/6070') if u['name'] == 'operator7'], what='the deletion')
        self.new_messages(before, USERS_CHANGED, f'{added["id"]:02x}000000')

    def test_5_camera_search_and_image_settings(self):
        self.open_page('cameras', '#camera-list table')
        self.find('#search-start').click()
        rows = wait_until(lambda: self.find('#search-results').find_elements(By.CSS_SELECTOR, 'tbody tr'),
                          what='found cameras')
        rows[0].find_element(By.TAG_NAME, 'button').click()
        found_ip = rows[0].find_elements(By.TAG_NAME, 'td')[0].text
        self.assertEqual(self.find('#camera-ipAddr').get_attribute('value'), found_ip, 'the add form takes the found camera')
        # The login is tried on the found camera: a wrong password, then the right one.
        self.set_value('#camera-password', 'wrong')
        self.find('#camera-test').click()
        self.toast('the camera refuses the user name or password')
        self.set_value('#camera-password', 'Admin123')
        self.find('#camera-test').click()
        self.toast('the camera accepts the login')
        # Added, the camera takes image settings: a changed value reaches it and is read back.
        channel = self.find('#camera-id').get_attribute('value')
        self.find('#camera-form button[type="submit"]').click()
        self.toast('saved')
        self.read_image_settings(channel)
        gain = self.find('#image-redgain')
        new_gain = (int(gain.get_attribute('value')) + 7) % 100
        before = len(self.core_messages())
        self.set_value('#image-redgain', new_gain)
        self.find('#image-save').click()
        self.toast('image settings sent')
        self.new_messages(before, IMAGE_SET)
        self.open_page('cameras', '#camera-list table')
        self.read_image_settings(channel)
        wait_until(lambda: self.find('#image-redgain').get_attribute('value') == str(new_gain), what='the read back gain')

    def test_6_other_event_kinds_share_the_editor(self):
        # Video loss: its plans have no effective one; the audible plan is painted.
        self.open_page('events', '#motion-save')
        Select(self.find('#event-kind')).select_by_value('videoloss')
        self.find('#event-body[data-loaded="videoloss/0"]')
        self.assertEqual([o.get_attribute('value') for o in Select(self.find('#event-plan')).options],
                         ['audible', 'email', 'ptz', 'white'])
        self.paint('', 3, 40)
        self.set_value('#event-interval', 17)
        self.find('#videoloss-copy input[value="2"]').click()  # copied to channel 3
        before = len(self.core_messages())
        self.find('#event-save').click()
        self.toast('video loss saved')
        self.new_messages(before, VIDEO_LOSSES_CHANGED, '0500000000000000')
        for channel in (0, 2):
            block = self.webreq('/6094', {'chnid': channel})
            self.assertEqual(block['interval'], 17, channel)
            self.assertEqual((block['audible'][3][0]['startTime'], block['audible'][3][0]['endTime']), ('20:00', '20:30'))
        self.assertNotEqual(self.webreq('/6094', {'chnid': 1})['interval'], 17, 'a channel not ticked keeps its own')
        # A recorder alarm input, renamed, with its effective plan.
        Select(self.find('#event-kind')).select_by_value('alarmin')
        Select(self.find('#event-source')).select_by_value('2')
        self.find('#event-body[data-loaded="alarmin/2"]')
        self.set_value('#alarmin-name', 'back door')
        self.paint('', 0, 0)
        before = len(self.core_messages())
        self.find('#event-save').click()
        self.toast('alarm input saved')
        self.new_messages(before, ALARM_INS_CHANGED, '0400000000000000')
        block = self.webreq('/6026', {'alarmId': 2})
        self.assertEqual((block['name'], block['effective'][0][0]['startTime'], block['effective'][0][0]['endTime']),
                         ('back door', '00:00', '00:30'))
        # An analytics kind: line crossing of channel 1.
        Select(self.find('#event-kind')).select_by_value('smart4')
        self.find('#event-body[data-loaded="smart4/0"]')
        self.paint('', 6, 47)
        before = len(self.core_messages())
        self.find('#event-save').click()
        self.toast('line crossing saved')
        self.new_messages(before, SMART_EVENT_CHANGED, CHANNEL_0)
        block = self.webreq('/6148', {'chnid': 0, 'event': 4})['action'][0]
        self.assertEqual((block['effective'][6][0]['startTime'], block['effective'][6][0]['endTime']), ('23:30', '24:00'))

    def test_7_recording_plan_and_holiday(self):
        self.open_page('recording', '#plan-save')
        self.paint('#record-plan', 2, 10)
        Select(self.find('#plan-mode')).select_by_value('2')
        before = len(self.core_messages())
        self.find('#plan-save').click()
        self.toast('recording plan saved')
        self.new_messages(before, RECORD_PLANS_CHANGED, CHANNEL_0)
        self.new_messages(before, RECORD_MODES_CHANGED, CHANNEL_0)
        self.assertEqual([r['mode'] for r in self.webreq('/6042')['records'] if r['id'] == 0], [2])
        self.open_page('recording', '#plan-save')
        self.assertTrue(self.painted('#record-plan', 2, 10))
        plan = self.webreq('/6040', '0')
        self.assertEqual((plan['schedule'][2]['plans'][0]['startTime'], plan['schedule'][2]['plans'][0]['endTime']),
                         ('05:00', '05:30'))
        self.assertEqual(len(plan['schedule'][2]['plans']), 48)
        # A holiday: saved, then listed after a reload.
        self.set_value('#holiday-id', 5)
        self.set_value('#holiday-name', 'Founders day')
        self.set_value('#holiday-startMon', 7)
        self.set_value('#holiday-startMDay', 14)
        self.find('#holiday-save').click()
        self.toast('holiday saved')
        self.open_page('recording', '#holiday-list table')
        self.assertIn('Founders day', self.find('#holiday-list').text)
        saved = [h for h in self.webreq('/6030')['holidays'] if h['id'] == 5][0]
        self.assertEqual((saved['name'], saved['startMon'], saved['startMDay'], saved['enable']), ('Founders day', 7, 14, 1))

    def test_8_network_ports_and_interfaces(self):
        self.open_page('network', '#port-save')
        # A port something already listens on (the demo's own web server) is refused, with why.
        self.set_value('#port-httpPort', self.port)
        self.find('#port-save').click()
        self.toast('a port is already in use')
        self.open_page('network', '#port-save')
        self.assertNotEqual(self.find('#port-httpPort').get_attribute('value'), str(self.port))
        before = len(self.core_messages())
        self.set_value('#port-rtspPort', 5554)
        self.find('#port-save').click()
        self.toast('ports saved')
        self.open_page('network', '#port-save')
        self.assertEqual(self.find('#port-rtspPort').get_attribute('value'), '5554')
        self.set_value('#net-DNS2', '9.9.9.9')
        self.find('#net-save').click()
        self.toast('network settings saved')
        self.new_messages(before, NETWORK_CHANGED, b'network'.hex())
        self.open_page('network', '#net-save')
        self.assertEqual(self.find('#net-DNS2').get_attribute('value'), '9.9.9.9')

    def test_9_maintenance_log_and_configuration(self):
        self.open_page('maintenance', '#log-start:enabled')
        self.find('#log-start').click()
        wait_until(lambda: self.find('#log-results').find_elements(By.CSS_SELECTOR, 'tbody tr'), what='log entries')
        self.find('#log-export').click()
        csv = wait_until(lambda: glob.glob(os.path.join(self.downloads, '*.csv')), 20, 'the CSV file')[0]
        with open(csv, newline='') as f:
            self.assertTrue(f.readline().startswith('Number,Time,Main,Sub,Parameter,User,Ip,Channel,Log information,'))
        # The configuration goes out as a file and comes back in from it: a change made after the
        # export is undone by the import.
        holiday = lambda name: {'id': 6, 'name': name, 'enable': 1, 'type': 0}
        name_of_6 = lambda: [h['name'] for h in self.webreq('/6030')['holidays'] if h['id'] == 6]
        self.assertEqual(self.webreq('/6031', holiday('before the export')), 'OK')
        self.find('#config-export').click()
        exported = wait_until(lambda: [f for f in glob.glob(os.path.join(self.downloads, 'zvconfig_*.db'))
                                       if not f.endswith('.crdownload')], 20, 'the configuration file')[0]
        self.toast('exported')
        self.assertEqual(self.webreq('/6031', holiday('after the export')), 'OK')
        self.assertEqual(name_of_6(), ['after the export'])
        self.find('#config-file').send_keys(exported)
        self.find('#config-import').click()
        WebDriverWait(self.browser, 5).until(ready.alert_is_present()).accept()
        self.toast('configuration imported')
        self.assertEqual(name_of_6(), ['before the export'])
        # Something that is no export is refused with the reason.
        self.find('#config-file').send_keys(csv)
        self.find('#config-import').click()
        WebDriverWait(self.browser, 5).until(ready.alert_is_present()).accept()
        self.toast('import refused')

    def test_9z_live_alarm_state_and_language(self):
        self.open_page('alarms', '#alarm-live-out table')
        # The state column of the outputs (the view is rebuilt every second: read it in one go).
        state = lambda: self.browser.execute_script(
            "return [...document.querySelectorAll('#alarm-live-out tbody tr')].map((r) => r.cells[3].textContent)")
        self.assertEqual(state()[1], '0')
        self.find('#alarm-out-1-raise').click()
        wait_until(lambda: state()[1] == '1', what='output 2 raised in the live state')
        self.find('#alarm-out-1-clear').click()
        wait_until(lambda: state()[1] == '0', what='output 2 cleared in the live state')
        # An input contact closed at the core shows up without a reload.
        inputs = lambda: self.browser.execute_script(
            "return [...document.querySelectorAll('#alarm-live-in tbody tr')].map((r) => r.cells[3].textContent)")
        self.assertEqual(inputs()[3], '0')
        subprocess.run([os.path.join(ARGS.bin, 'zvcore-sim'), 'ctl', '--control',
                        os.path.join(self.state, 'run', 'zvcore-sim.ctl'), 'alarm', 'raise', 'in', '3'],
                       check=True, capture_output=True)
        wait_until(lambda: inputs()[3] == '1', what='input 4 raised in the live state')
        # The language files of the demo: the navigation speaks the chosen language.
        self.assertEqual(self.webreq('/json?lang=en&page=console&sub=nav')['events'], 'Events')
        self.find('#lang option[value="de"]')  # the list is read after the page opens
        Select(self.find('#lang')).select_by_value('de')
        wait_until(lambda: self.find('#nav a[href="#events"]').text == 'Ereignisse', what='German navigation')
        Select(self.find('#lang')).select_by_value('en')
        wait_until(lambda: self.find('#nav a[href="#events"]').text == 'Events', what='English navigation')


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--project', required=True)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--screenshot')
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
