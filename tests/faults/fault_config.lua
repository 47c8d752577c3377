-- Configuration of the fault-test installer: target folder and result file come from the
-- environment (ZF_TARGET, ZF_RESULT); one instance mutex for every copy.
global_install_path = os.getenv("ZF_TARGET") or "C:\\zpkfault"
global_install_mutex_guid = "Global\\ZpkFaultTestInstaller"
global_enable_ss_install = true
