-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Four drives and three volumes by default.
-- Nodes by type: the server (212), the clients (515) and the policies (516);
-- a group_config row a policy; the jobs, each with its own id, none ending
-- before it starts; the drives and libraries; the volumes and pools.
select f_type, count(*) from nodes group by f_type order by f_type;
select count(*) from group_config;
select count(*), count(DISTINCT f_jobid) from backupjob;
select count(*) from backupjob where f_endtime < f_starttime;
select count(*), count(DISTINCT f_jukebox_name) from device_config;
select count(*), count(DISTINCT f_pool_name) from disk_volume_config;
-- Each client's jobs ran in 1 to 3 of the policies, through one media server.
select min(p) >= 1 and max(p) <= 3 and max(m) = 1 from (select count(DISTINCT f_group_name) p,
  count(DISTINCT f_media_server) m from backupjob group by f_client_name);
-- 40 clients in 1 to 3 policies each, a retired one or so: 41 to 123 pairs.
select count(*) between 41 and 123 from (select DISTINCT f_group_name, f_client_name from backupjob);
exit
