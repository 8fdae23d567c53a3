-- The demo environment: one DPA datastore server, a dozen clients, six
-- groups, three weeks of backup jobs, two tape libraries and two disk pools.
-- It holds on purpose what a real datastore holds: jobs of unknown clients
-- and groups, repeated job ids, missing numbers, drive names that differ only
-- in case, a device path with commas, and disk devices beside tape drives.

-- The datastore server.
INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES
  ('dpa-ds01', 'dpa-ds01.demo.local', 'DPA Datastore', 212);

-- Clients. 'lima' is protected by no group; 'golf' is known twice.
INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES
  ('alpha',   'alpha.demo.local',   'alpha',   515),
  ('bravo',   'bravo.demo.local',   'bravo',   515),
  ('charlie', 'charlie.demo.local', 'charlie', 515),
  ('delta',   'delta.demo.local',   'delta',   515),
  ('echo',    'echo.demo.local',    'echo',    515),
  ('foxtrot', 'foxtrot.demo.local', 'foxtrot', 515),
  ('golf',    'golf.demo.local',    'golf',    515),
  ('golf',    'golf.branch.local',  'golf',    515),
  ('hotel',   'hotel.demo.local',   'hotel',   515),
  ('india',   'india.demo.local',   'india',   515),
  ('juliet',  'juliet.demo.local',  'juliet',  515),
  ('kilo',    'kilo.demo.local',    'kilo',    515),
  ('lima',    'lima.demo.local',    'lima',    515);

-- Groups (NetBackup policies). 'legacy-nightly' has jobs and a
-- configuration but is no longer a monitored node.
INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES
  ('gold-daily',     'gold-daily',     'gold-daily',     516),
  ('fs-nightly',     'fs-nightly',     'fs-nightly',     516),
  ('oracle-rman',    'oracle-rman',    'oracle-rman',    516),
  ('exchange-mbx',   'exchange-mbx',   'exchange-mbx',   516),
  ('silver-weekly',  'silver-weekly',  'silver-weekly',  516),
  ('ndmp-filer',     'ndmp-filer',     'ndmp-filer',     516);

INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active) VALUES
  ('gold-daily',     'Standard',           'dd-pool1',       1),
  ('fs-nightly',     'MS-Windows',         'advdisk-pool2',  1),
  ('oracle-rman',    'Oracle',             'stu-TLD0-hcart', 1),
  ('exchange-mbx',   'MS-Exchange-Server', 'dd-pool1',       1),
  ('silver-weekly',  'Standard',           'stu-TLD0-hcart', 1),
  ('ndmp-filer',     'NDMP',               'stu-TLD1-hcart', 1),
  ('legacy-nightly', 'Standard',           'dd-pool1',       0);

-- Who is protected by what, on which media server and storage unit: alpha
-- by three groups, fs-nightly on five clients, alpha's file system backups
-- on two media servers.
CREATE TEMP TABLE demo_plan (k INTEGER PRIMARY KEY, grp TEXT, client TEXT, media TEXT, unit TEXT);
INSERT INTO demo_plan (k, grp, client, media, unit) VALUES
  (0,  'gold-daily',    'alpha',   'media01', 'dd-pool1'),
  (1,  'fs-nightly',    'alpha',   'media01', 'advdisk-pool2'),
  (2,  'oracle-rman',   'alpha',   'media02', 'stu-TLD0-hcart'),
  (3,  'fs-nightly',    'bravo',   'media01', 'advdisk-pool2'),
  (4,  'fs-nightly',    'charlie', 'media01', 'advdisk-pool2'),
  (5,  'fs-nightly',    'delta',   'media02', 'advdisk-pool2'),
  (6,  'fs-nightly',    'echo',    'media02', 'dd-pool1'),
  (7,  'exchange-mbx',  'foxtrot', 'media01', 'dd-pool1'),
  (8,  'gold-daily',    'golf',    'media01', 'dd-pool1'),
  (9,  'silver-weekly', 'hotel',   'media02', 'stu-TLD0-hcart'),
  (10, 'ndmp-filer',    'india',   'media02', 'stu-TLD1-hcart'),
  (11, 'silver-weekly', 'juliet',  'media01', 'stu-TLD0-hcart'),
  (12, 'gold-daily',    'kilo',    'media01', 'dd-pool1'),
  (13, 'fs-nightly',    'alpha',   'media02', 'advdisk-pool2');

-- 336 jobs, one every 90 minutes over three weeks from 2024-03-04 00:00 UTC,
-- each level and status text among them; every 29th has no file count,
-- every 31st no size, every 43rd is still running (no end time) and every
-- 13th moved a fractional number of megabytes.
WITH RECURSIVE seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 336)
INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, f_storage_unit,
                       f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, f_endtime,
                       f_errorcode)
SELECT 'J' || (100000 + n), p.grp, p.client, p.media, p.unit,
       CASE n % 10 WHEN 3 THEN 'fail' WHEN 5 THEN 'Success' WHEN 7 THEN 'failed'
                   WHEN 9 THEN 'partial' ELSE 'success' END,
       CASE n % 5 WHEN 0 THEN 'Full' WHEN 1 THEN 'Differential Incr' WHEN 2 THEN 'Cumulative Incr'
                  WHEN 3 THEN 'Differential Incr' ELSE 'User Backup' END,
       CASE WHEN n % 29 = 0 THEN NULL ELSE (n * 7919) % 50000 END,
       CASE WHEN n % 31 = 0 THEN NULL
            WHEN n % 13 = 0 THEN (n * 104729) % 20000 + 0.5
            ELSE (n * 104729) % 20000 END,
       1709510400 + n * 5400,
       CASE WHEN n % 43 = 0 THEN NULL ELSE 1709510400 + n * 5400 + 120 + (n * 37) % 3600 END,
       CASE WHEN n % 10 IN (3, 7) THEN 96 ELSE 0 END
FROM seq JOIN demo_plan p ON p.k = n % 14;
DROP TABLE demo_plan;

-- Jobs the plug-in has to cope with: a job id repeated exactly and in other
-- case (each with another storage unit), a job without id, jobs of a client
-- that is no node, of a group that is no node and of a group without any
-- configuration.
INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, f_storage_unit,
                       f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, f_endtime,
                       f_errorcode) VALUES
  ('J100010', 'fs-nightly',     'charlie', 'media01', 'dd-pool1',      'success', 'Full', 10, 20, 1709564400, 1709564700, 0),
  ('j100011', 'fs-nightly',     'delta',   'media02', 'dd-pool1',      'success', 'Full', 11, 21, 1709569800, 1709570100, 0),
  (NULL,      'gold-daily',     'alpha',   'media01', 'dd-pool1',      'success', 'Full', 1,  1,  1709600000, 1709600100, 0),
  ('J200001', 'gold-daily',     'zulu',    'media01', 'dd-pool1',      'success', 'Full', 5,  50, 1709700000, 1709700600, 0),
  ('J200002', 'legacy-nightly', 'alpha',   'media01', 'dd-pool1',      'success', 'Full', 6,  60, 1709800000, 1709800600, 0),
  ('J200003', 'adhoc-restore',  'bravo',   'media01', 'advdisk-pool2', 'success', 'Full', 7,  70, 1709900000, 1709900600, 0);

-- Tape devices with their libraries, and the disk devices ('Magnetic') that
-- the library query leaves out. Drive1 of TLD0 is seen from two hosts under
-- names that differ in case; 'tld1' and 'TLD1' are two libraries.
INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path,
                           f_device_type, f_device_class, f_firmware) VALUES
  ('media01', 'TLD0', 'Drive1',       '/dev/nst0',                 'hcart', 'LTO-6', 'J4D0'),
  ('media02', 'TLD0', 'DRIVE1',       '/dev/nst4',                 'hcart', 'LTO-6', 'J4D0'),
  ('media01', 'TLD0', 'Drive2',       '/dev/nst1',                 'hcart', 'LTO-6', 'J4D0'),
  ('media02', 'TLD1', 'IBM.ULT3580.0', '{4d36e967},Tape0,SCSI1,0', 'hcart2', 'LTO-7', 'H8V2'),
  ('media02', 'TLD1', 'IBM.ULT3580.1', '{4d36e967},Tape1,SCSI1,1', 'hcart2', 'LTO-7', 'H8V2'),
  ('media01', 'tld1', 'QUANTUM.0',     '/dev/nst2',                'hcart3', 'LTO-5', 'B4C0'),
  ('media01', 'dd-pool1',      'dd-disk0',  '/dd/pool1',       'disk', 'DataDomain', 'Magnetic'),
  ('media02', 'advdisk-pool2', 'adv-disk0', '/advdisk/pool2',  'disk', 'AdvancedDisk', 'Magnetic');

-- Disk pools and their volumes; each pool is also a storage unit of jobs.
INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id, f_capacity, f_used) VALUES
  ('dd-pool1',      '/dd/pool1/vol1',      'DataDomain',   'dd-pool1-vol1',  8796093022208, 1099511627776),
  ('dd-pool1',      '/dd/pool1/vol2',      'DataDomain',   'dd-pool1-vol2',  8796093022208, 2199023255552),
  ('dd-pool1',      '/dd/pool1/vol3',      'DataDomain',   'dd-pool1-vol3',  8796093022208, 549755813888),
  ('advdisk-pool2', '/advdisk/pool2/vol1', 'AdvancedDisk', 'adv2-vol1',      4398046511104, 1099511627776),
  ('advdisk-pool2', '/advdisk/pool2/vol2', 'AdvancedDisk', 'adv2-vol2',      4398046511104, 0);
