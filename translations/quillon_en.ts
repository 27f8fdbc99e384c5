<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Quillon</name>
    <message>
        <source>Quillon-关于我们</source>
        <translation>Quillon - About</translation>
    </message>
    <message>
        <source>感谢您使用我们的软件！！</source>
        <translation>Thank you for using Quillon!</translation>
    </message>
    <message>
        <source>录音前请先对系统和软件设置，详见帮助！</source>
        <translation>Set up the system first; see Help.</translation>
    </message>
    <message>
        <source>联系我们：</source>
        <translation>Contact:</translation>
    </message>
    <message>
        <source>Quillon 开发组</source>
        <translation>the Quillon developers</translation>
    </message>
    <message>
        <source>问题和建议请提交到项目的问题列表。</source>
        <translation>Problems and ideas: the issue list.</translation>
    </message>
    <message>
        <source>录音 (file 文件夹) 和 nu.ini 在程序文件夹:</source>
        <translation>Recordings (folder file) and nu.ini are in:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>停止录音</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>开始录音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>设备:</source>
        <translation>Dev.:</translation>
    </message>
    <message>
        <source>线路:</source>
        <translation>Line:</translation>
    </message>
    <message>
        <source>声音:</source>
        <translation>Vol.:</translation>
    </message>
    <message>
        <source>输出</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>WAV格式:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>取样:</source>
        <translation>Rate:</translation>
    </message>
    <message>
        <source>立体声</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>输出文件</source>
        <translation>Output file</translation>
    </message>
    <message>
        <source>选择输出文件</source>
        <translation>Choose the output file</translation>
    </message>
    <message>
        <source>选择WAV格式</source>
        <translation>Choose the WAV format</translation>
    </message>
    <message>
        <source>特效/滤镜</source>
        <translation>Effects/filters</translation>
    </message>
    <message>
        <source>回声</source>
        <translation>Echo</translation>
    </message>
    <message>
        <source>周相移动</source>
        <translation>Phaser</translation>
    </message>
    <message>
        <source>放大器</source>
        <translation>Amplifier</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Actions</translation>
    </message>
    <message>
        <source>试听</source>
        <translation>Listen</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>最小化至系统托盘</source>
        <translation>Put away to the tray</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>左声道:</source>
        <translation>Left:</translation>
    </message>
    <message>
        <source>右声道:</source>
        <translation>Right:</translation>
    </message>
    <message>
        <source>示波器</source>
        <translation>Oscilloscope</translation>
    </message>
    <message>
        <source>频谱</source>
        <translation>Spectrum</translation>
    </message>
    <message>
        <source>左声道电平</source>
        <translation>Left level</translation>
    </message>
    <message>
        <source>右声道电平</source>
        <translation>Right level</translation>
    </message>
    <message>
        <source>如需自动录音等定制功能, 欢迎与作者联系。</source>
        <translation>For custom features such as timed recording, ask us.</translation>
    </message>
    <message>
        <source>文件大小: 0 字节</source>
        <translation>Size: 0 bytes</translation>
    </message>
    <message>
        <source>长度: 0:00</source>
        <translation>Length: 0:00</translation>
    </message>
    <message>
        <source>没有找到设备！</source>
        <translation>No device found!</translation>
    </message>
    <message>
        <source>文件大小: </source>
        <translation>Size: </translation>
    </message>
    <message>
        <source>时间: </source>
        <translation>Time: </translation>
    </message>
    <message>
        <source>文件大小: 0 Bytes</source>
        <translation>Size: 0 Bytes</translation>
    </message>
    <message>
        <source>时间: 0:00</source>
        <translation>Time: 0:00</translation>
    </message>
    <message>
        <source>丢失: %1 ms</source>
        <translation>Lost: %1 ms</translation>
    </message>
    <message>
        <source>选择声音输出格式</source>
        <translation>Choose the sound output format</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>格式类别:</source>
        <translation>Format tag:</translation>
    </message>
    <message>
        <source>属性:</source>
        <translation>Attributes:</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Attributes</translation>
    </message>
    <message>
        <source>特效设置</source>
        <translation>Effects settings</translation>
    </message>
    <message>
        <source>回响</source>
        <translation>Echo</translation>
    </message>
    <message>
        <source>长度 (毫秒):</source>
        <translation>Length (ms):</translation>
    </message>
    <message>
        <source>音效增强:</source>
        <translation>Strength:</translation>
    </message>
    <message>
        <source>回放:</source>
        <translation>Feedback:</translation>
    </message>
    <message>
        <source>扫描速度:</source>
        <translation>Sweep rate:</translation>
    </message>
    <message>
        <source>扫描范围:</source>
        <translation>Sweep range:</translation>
    </message>
    <message>
        <source>频率:</source>
        <translation>Frequency:</translation>
    </message>
    <message>
        <source>均衡器曲线</source>
        <translation>Equalizer curve</translation>
    </message>
    <message>
        <source>增强:</source>
        <translation>Gain:</translation>
    </message>
    <message>
        <source>Quillon--试听</source>
        <translation>Quillon - Listen</translation>
    </message>
    <message>
        <source>播放/暂停</source>
        <translation>Play/pause</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>播放位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>音量:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>不满意，删除！</source>
        <translation>Delete it!</translation>
    </message>
    <message>
        <source>打开所在文件夹</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>这个文件正在录音, 不能删除!</source>
        <translation>This file is being recorded and cannot be deleted!</translation>
    </message>
    <message>
        <source>程序内部出错, 操作未完成。</source>
        <translation>An internal error stopped the operation.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>没有指定输出文件!</source>
        <translation>No output file given!</translation>
    </message>
    <message>
        <source>没有选择硬件设备!</source>
        <translation>No device selected!</translation>
    </message>
    <message>
        <source>无法初始化编码器!</source>
        <translation>Cannot start the encoder!</translation>
    </message>
    <message>
        <source>磁盘剩余空间不足一分钟的录音!</source>
        <translation>Less than a minute of recording fits on the disk!</translation>
    </message>
    <message>
        <source>不能启动录音功能!</source>
        <translation>Cannot start recording!</translation>
    </message>
    <message>
        <source>此时无法停止录音!</source>
        <translation>Recording cannot be stopped now!</translation>
    </message>
    <message>
        <source>设置文件 nu.ini 无法读取或内容无效, 录音编号从 %1 继续。</source>
        <translation>The settings file nu.ini could not be read or is invalid; numbering goes on from %1.</translation>
    </message>
    <message>
        <source>录音设备已断开, 录音已停止!</source>
        <translation>The recording device went away; recording stopped!</translation>
    </message>
    <message>
        <source>取样频率无效, 请输入 1 到 96000 之间的整数!</source>
        <translation>Invalid sample rate; enter a whole number from 1 to 96000!</translation>
    </message>
    <message>
        <source>显示Quillon</source>
        <translation>Show Quillon</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>%1 已存在。
要替换它吗?</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
    <message>
        <source>所选录音线路没有接入设备!</source>
        <translation>Nothing is plugged into the chosen line!</translation>
    </message>
    <message>
        <source>以下录音没有正常结束，已经修复:</source>
        <translation>These recordings did not end normally and have been repaired:</translation>
    </message>
    <message>
        <source>以下文件无法修复，保持原样:</source>
        <translation>These files could not be repaired and were left as they are:</translation>
    </message>
    <message>
        <source>文件名中有无法识别的字符 (�), 无法确定真正的文件名: 请另选一个文件名!</source>
        <translation>The file name has characters that cannot be read (�), so its real name is unknown: please choose another file name!</translation>
    </message>
    <message>
        <source>从 -32768 到 32767 的录音编号都已被 file 文件夹中的录音占用, 无法开始录音!</source>
        <translation>Every recording number from -32768 to 32767 is taken by a recording in the folder file; cannot start recording!</translation>
    </message>
    <message>
        <source>请移走一些录音后再试。</source>
        <translation>Move some recordings elsewhere and try again.</translation>
    </message>
    <message>
        <source>无法创建下一个文件:</source>
        <translation>Cannot create the next file:</translation>
    </message>
    <message>
        <source>丢失 %1 ms</source>
        <translation>Dropout %1 ms</translation>
    </message>
    <message>
        <source>标记</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>削波 %1 个采样</source>
        <translation>Clipping: %1 samples</translation>
    </message>
    <message>
        <source>磁盘剩余空间只够再录音 %1 分钟!</source>
        <translation>The disk has room for only %1 more minutes of recording!</translation>
    </message>
    <message>
        <source>丢失 %1 次 (%2 ms)</source>
        <translation>%1 dropouts (%2 ms)</translation>
    </message>
    <message>
        <source>削波 %1 处</source>
        <translation>%1 clipped</translation>
    </message>
    <message>
        <source>磁盘剩余 %1</source>
        <translation>Disk left: %1</translation>
    </message>
    <message>
        <source>正在录音</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>无法阻止休眠</source>
        <translation>Sleep not blocked</translation>
    </message>
    <message>
        <source>开始或停止录音</source>
        <translation>Start or stop recording</translation>
    </message>
    <message>
        <source>等待开始: </source>
        <translation>Starting in: </translation>
    </message>
    <message>
        <source>等待声音...</source>
        <translation>Waiting for sound...</translation>
    </message>
    <message>
        <source>自动录音</source>
        <translation>Hands-free</translation>
    </message>
    <message>
        <source>声控录音: 有声音时才录</source>
        <translation>Sound-activated: record only while there is sound</translation>
    </message>
    <message>
        <source>触发电平:</source>
        <translation>Trigger level:</translation>
    </message>
    <message>
        <source>预录:</source>
        <translation>Pre-roll:</translation>
    </message>
    <message>
        <source>静音后结束:</source>
        <translation>End after silence:</translation>
    </message>
    <message>
        <source>然后等待下一段声音, 存为新文件</source>
        <translation>Then wait for the next sound, into a new file</translation>
    </message>
    <message>
        <source>定时开始:</source>
        <translation>Start at:</translation>
    </message>
    <message>
        <source>定时停止:</source>
        <translation>Stop at:</translation>
    </message>
    <message>
        <source>声控开始</source>
        <translation>Sound-activated start</translation>
    </message>
    <message>
        <source>静音, 分段</source>
        <translation>Silence, split</translation>
    </message>
</context>
</TS>
