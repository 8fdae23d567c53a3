-- The crafted datastore of the golden run (Golden_test.cpp): small, and made
-- of the cases the plug-in must get right. Rows are inserted in byte order of
-- the columns the queries join and sort on, so that the tool prints them in
-- the same order whichever index the query takes.

-- Two datastore servers: only the first line names the master server.
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES
  ('dpa-gold', 'dpa-gold.example', 212),
  ('dpa-second', 'dpa-second.example', 212);

-- Clients: 'alpha' and 'Alpha' differ in case only; 'dpa-gold' is also the
-- server's name; 'charlie' and the one with a comma, markup and a control
-- character in its name are protected by no group.
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES
  ('alpha', 'alpha.example', 515), ('Alpha', 'alpha2.example', 515),
  ('bravo', 'bravo.example', 515), ('charlie', 'charlie.example', 515),
  ('dpa-gold', 'dpa-gold.example', 515), ('o''neil & <co>,' || char(7), 'odd.example', 515);

-- Groups that are nodes; 'legacy' is configured but no node, 'nocfg' a node
-- without configuration.
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES
  ('fs-nightly', 'fs-nightly', 516), ('gold-daily', 'gold-daily', 516),
  ('nocfg', 'nocfg', 516), ('orphan', 'orphan', 516);
INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active) VALUES
  ('fs-nightly', 'MS-Windows', 'dd-pool', 1), ('gold-daily', 'Standard', 'dd-pool', 1),
  ('legacy', 'Standard', 'dd-pool', 0), ('orphan', 'Standard', 'dd-pool', 1);

-- Jobs, by group, client and media server. The group query derives who is
-- protected by what from them.
INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, f_storage_unit,
                       f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, f_endtime) VALUES
  -- Alpha has fs-nightly, alpha has not.
  ('J104', 'fs-nightly', 'Alpha',    'm1', 'dd-pool',  'success', 'Full', 100, 2048, 1700000400, 1700000700),
  -- The group line names BRAVO, which is no client: the job does not map.
  ('J108', 'fs-nightly', 'BRAVO',    'm1', 'dd-pool',  'success', 'Full', 1, 1, 1700000800, 1700000900),
  -- The policy goes to the server entry, the first of that name.
  ('J105', 'fs-nightly', 'dpa-gold', 'm1', 'stu-tld0', 'running', 'Incremental', 3, 4, 1700001000, 1700001100),
  ('J114', 'gold-daily', 'Alpha',    'm1', 'dd-pool',  'SUCCESS', 'full', 5, 6, 1700001200, 1700001300),
  -- Maps to bravo, whose name matches ignoring case.
  ('J103', 'gold-daily', 'BRAVO',    'm1', 'dd-pool',  'failed', 'FULL', 7, 8, 1700001400, 1700001500),
  ('J100', 'gold-daily', 'alpha',    'm1', 'dd-pool',  'success', 'Full', 10, 5, 1700000000, 1700000060),
  -- The same id in other case on the next line, and a job without id.
  ('j100', 'gold-daily', 'alpha',    'm1', 'dd-pool',  'success', 'Full', 11, 5, 1700000000, 1700000061),
  (NULL,   'gold-daily', 'alpha',    'm1', 'dd-pool',  'success', 'Full', 12, 5, 1700000000, 1700000062),
  -- alpha on a second media server: gold-daily is attached twice.
  ('J101', 'gold-daily', 'alpha',    'm2', 'dd-pool',  'success', 'Differential Incr', 13, 9, 1700002000, 1700002100),
  -- J300 again after J301: listed under both storage units, held once.
  ('J300', 'gold-daily', 'alpha',    'm2', 'dd-pool',  'fail', 'Cumulative Incr', 14, 10, 1700003000, 1700003100),
  ('J301', 'gold-daily', 'alpha',    'm2', 'dd-pool',  'success', 'Differential Incr', 15, 11, 1700004000, 1700004100),
  ('J300', 'gold-daily', 'alpha',    'm2', 'win-pool', 'success', 'Full', 16, 12, 1700005000, 1700005100),
  -- A storage unit named like a pool but in other case; numbers the tool
  -- prints as (null), fractions, nothing at all, or beyond 32 bits; a level
  -- with a trailing blank, which goes with the trimming of the line.
  ('J102', 'gold-daily', 'bravo',    'm1', 'DD-POOL',  'fail', 'cumulative incr', '(null)', 12.5, 1700006000, 1700006100),
  ('J109', 'gold-daily', 'bravo',    'm1', 'dd-pool',  'Success', 'differential incr', NULL, '(null)', NULL, NULL),
  ('J110', 'gold-daily', 'bravo',    'm1', 'dd-pool',  'FAIL', 'Full ', 17, 3000000, '(null)', 100),
  ('J111', 'gold-daily', 'bravo',    'm1', 'dd-pool',  'success', 'Full', 18, 1, 1000, 2147484648),
  ('J112', 'gold-daily', 'bravo',    'm1', 'dd-pool',  'success', 'Full', 19, 1, 1000, 4294968296),
  -- ghost is no client.
  ('J107', 'gold-daily', 'ghost',    'm1', 'dd-pool',  'success', 'Full', 20, 1, 1700007000, 1700007100),
  -- A configured group that is no node: attached to alpha, its job not read.
  ('J400', 'legacy',     'alpha',    'm1', 'dd-pool',  'success', 'Full', 21, 1, 1700008000, 1700008100),
  -- A group without configuration: charlie has no group, the job does not map.
  ('J500', 'nocfg',      'charlie',  'm1', 'dd-pool',  'success', 'Full', 22, 1, 1700009000, 1700009100),
  ('J600', 'orphan',     'ghost',    'm1', 'dd-pool',  'success', 'Full', 23, 1, 1700010000, 1700010100);

-- Tape devices: TLD0 seen from two hosts with drive names that differ in
-- case, a device path with a comma, TLD0 and tld0 two libraries, a Windows
-- device path, a device class with a comma, and a disk device left out.
INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path,
                           f_device_type, f_device_class, f_firmware) VALUES
  ('media01', 'TLD0', 'Drive0', '/dev/nst0',    'hcart',  'LTO-4',  'fw1'),
  ('media02', 'TLD0', 'DRIVE0', '/dev/nst5',    'hcart',  'LTO-5',  'fw1'),
  ('media01', 'TLD0', 'Drive1', '/dev/nst1,a',  'hcart',  'LTO-4',  'fw1'),
  ('media02', 'tld0', 'd0',     '\\.\Tape0',    'hcart2', 'LTO-6',  'fw2'),
  ('media03', 'ALIB', 'd7',     '/dev/nst7',    'hcart',  'LTO,7',  'fw3'),
  ('media01', 'dd',   'disk0',  '/dd/disk0',    'disk',   'disk',   'Magnetic');

-- Disk volumes: dd-pool has two, win-pool a Windows path, spare-pool no jobs.
INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id) VALUES
  ('dd-pool', '/data/dd1', 'DataDomain', 'vol-1'),
  ('dd-pool', '/data/dd2', 'DataDomain', 'vol-2'),
  ('win-pool', 'E:\pools\win', 'AdvancedDisk', 'vol-w'),
  ('spare-pool', '/data/spare', 'AdvancedDisk', 'vol-s');
