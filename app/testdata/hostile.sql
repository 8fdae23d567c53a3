-- Hostile texts (k: the clients, then the groups; s: names for some) in
-- every column the operations read. SQLite casts X'..' blobs to any bytes.
CREATE TABLE k (n INTEGER PRIMARY KEY, v TEXT);
INSERT INTO k (v) VALUES ('we<i>rd & "co" ''ltd'' ]]> &amp;'), ('com,ma'), ('DOMAIN\host\'),
  (CAST(X'ff41c328e282eda080efbfbf' AS TEXT)),
  ('ctl' || char(1) || char(7) || char(27) || '[0m' || char(9) || 'tab'), ('cr' || char(13) || 'x'),
  (replace(hex(zeroblob(15000)), '0', 'n')), ('new' || char(10) || 'line'), ('alpha'),
  (replace(hex(zeroblob(7500)), '00', '<&"\,')), ('<grp>&"x"'), ('plain');
CREATE VIEW s AS SELECT (SELECT v FROM k WHERE n = 1) m, (SELECT v FROM k WHERE n = 4) u,
  (SELECT v FROM k WHERE n = 5) c, (SELECT v FROM k WHERE n = 6) r,
  (SELECT v FROM k WHERE n = 7) l, (SELECT v FROM k WHERE n = 8) nl, (SELECT v FROM k WHERE n = 10) x;
INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type)
  SELECT v, 'g', 'd', CASE WHEN n < 10 THEN 515 ELSE 516 END FROM k
  UNION ALL SELECT x || char(1), 'g<l>', 'd', 212 FROM s;
INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active)
  SELECT v, c, m, 1 FROM k, s WHERE n >= 10;
INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, f_storage_unit,
  f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, f_endtime)
  SELECT 'J<' || g.n || '.' || j.n || '>&', g.v, j.v, c, CASE j.n % 2 WHEN 1 THEN x ELSE m END,
  r, u, '12abc', CASE WHEN (g.n + j.n) % 4 THEN 99999999999999999999 ELSE '-7' END, '(null)',
  CASE WHEN (g.n + j.n) % 5 THEN 4294967296 END FROM k g, k j, s WHERE g.n >= 10 AND j.n < 10;
INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path,
  f_device_type, f_device_class, f_firmware) SELECT m, 'lib,1', u, 'C:\tape\0,x', c, l, 'LTO'
  FROM s UNION ALL SELECT x, nl, 'd\', r, 't', 'c', 'x' FROM s;
INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id, f_capacity, f_used)
  SELECT m, 'D:\vol\1', c, l, 1, 2 FROM s UNION ALL SELECT u, x, 'AdvancedDisk', 'v,2', 3, 4 FROM s;
